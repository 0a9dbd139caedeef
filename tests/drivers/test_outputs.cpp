// What a run leaves beside its results: the SHA-256 digest it records,
// run.json after a normal end and after stops (checked against the schema
// in doc/run_json.md), the VTK cell map read back by an independent reader,
// and the command line.
#include "core/sha256.hpp"
#include "run_program.hpp"

using namespace support;

namespace {

const std::string kSource = UPSCALE_SOURCE_DIR, kScripts = kSource + "/tests/drivers";

std::string sha256sum(const std::string& path) { return output_of("sha256sum < '" + path + "'").first.substr(0, 64); }

// The text after `"key": ` in a record, up to the end of its line, without a trailing comma.
std::string json_value(const std::string& record, const std::string& key) {
  const std::size_t at = record.find("\"" + key + "\": ");
  if (at == std::string::npos) return "<missing>";
  std::string v = record.substr(at + key.size() + 4, record.find('\n', at) - at - key.size() - 4);
  return v.ends_with(",") ? v.substr(0, v.size() - 1) : v;
}

std::string python_with(const std::string& module) {
  for (const char* python : {"python3", "/usr/bin/python3"})
    if (output_of(std::string(python) + " -c 'import " + module + "' 2>/dev/null").second == 0) return python;
  return "";
}

}  // namespace

// Against coreutils' sha256sum: every length around the padding's
// boundaries (the length field alone, or spilling into a new block), and a
// million a's fed in pieces that straddle the blocks (a published vector).
TEST(Sha256, PaddingBoundariesAndPiecesAcrossBlocks) {
  core::Sha256 million;
  for (std::size_t fed = 0, piece = 1; fed < 1000000; fed += piece, piece = piece % 97 + 1)
    million.update(std::string(std::min(piece, 1000000 - fed), 'a'));
  EXPECT_EQ(million.hex_digest(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  for (int n : {0, 3, 55, 56, 63, 64, 65, 119, 120, 128})
    EXPECT_EQ(core::sha256_hex(std::string(n, 'x')) + "  -\n",
              output_of("head -c " + std::to_string(n) + " /dev/zero | tr '\\0' x | sha256sum").first) << n;
}

// Every end leaves a record valid against its schema, with the run's
// identity and the report's numbers; a normal end's VTK cell map, read back
// by an independent reader (meshio, where there is one), holds the map
// files: on a grid narrower than high too, so that a transposed map cannot
// pass, with a porosity.frac map.
TEST(RunRecord, EveryEndLeavesAValidRecordAndANormalEndItsCellMaps) {
  const std::string deck_file = kSource + "/examples/ice_small.deck", meshio = python_with("meshio");
  const Deck deck = deck_lines("ice_small.deck");
  const std::string porosity = "awk 'BEGIN{for(i=1;i<=70;i++) printf \"%12.4f\\n\", 0.1+i/1000}' > porosity.frac";
  // message: part of stop_message, or of standard error when run.json cannot be written
  struct Case { const char* program; std::string deck; Options opt; int status; const char* message; } cases[] = {
      {"pwave_upscale", "", stdin_from(deck_file), 40, ""},
      {"swave_spectrum", join(with_record(with_record(deck, 8, "    1"), 5, "7")), prepared(porosity), 40, ""},
      {"swave_saturation", join(with_record(deck, 5, "61")), {}, 13, "nx = 61"},
      {"swave_spectrum", join(deck), stdout_to("/dev/full"), 74, "standard output"},
      // The record cannot be written: the run stops before it touches a result file.
      {"pwave_upscale", join(deck), prepared("mkdir run.json"), 74, "run.json"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.program) + " ending with " + std::to_string(c.status));
    const Outcome r = run(c.program, c.deck, c.opt);
    ASSERT_EQ(r.status, c.status) << r.describe();
    const std::string record = r.file("run.json");
    if (c.opt.prepare == "mkdir run.json") {  // the record cannot be written: the run says so and fails
      EXPECT_TRUE(contains(r.err, c.message) && !contains(join(r.files()), "run.json")) << r.err;
      continue;
    }
    if (const std::string python = python_with("jsonschema"); !python.empty()) {  // else the schema is not checked
      EXPECT_EQ(output_of(python + " " + kScripts + "/check_run_json.py " + kSource + "/doc/run_json.md " + r.dir + "/run.json 2>&1"),
                std::make_pair(std::string("valid\n"), 0)) << record;
    }
    EXPECT_EQ(json_value(record, "program"), "\"" + std::string(c.program) + "\"");
    EXPECT_EQ(json_value(record, "exit_status"), std::to_string(c.status));
    EXPECT_TRUE(contains(json_value(record, "stop_message"), c.message)) << record;
    EXPECT_EQ(json_value(record, "deck_sha256"),
              "\"" + (c.deck.empty() ? sha256sum(deck_file) : core::sha256_hex(c.deck)) + "\"");
    const bool map = contains(c.opt.prepare, "porosity.frac");
    EXPECT_EQ(json_value(record, "porosity_sha256"), map ? "\"" + sha256sum(r.dir + "/porosity.frac") + "\"" : "null");
    EXPECT_EQ(contains(record, "\"results\": {}"), c.status != 40) << record;
    if (c.status != 40) continue;
    if (!meshio.empty()) {
      EXPECT_EQ(output_of(meshio + " " + kScripts + "/check_vtk_map.py " + r.dir + (c.deck.empty() ? " 10" : " 7") + " 10 0.02 " + c.program + " 2>&1"),
                std::make_pair(std::string("ok\n"), 0));
    }
    // The recorded results are the report's numbers, to the last digit.
    const bool p = std::string(c.program) == "pwave_upscale";
    EXPECT_EQ(std::stod(json_value(record, p ? "re_c33" : "re_c13")),
              r.after(p ? "using averages Re(c33) FE        = " : "Re(c13) FE                   = "));
    EXPECT_EQ(std::stod(json_value(record, p ? "im_mstar" : "im_cmu")),
              r.after(p ? "from deltavol1 Im(p33) FE mstar      = " : "Im(cmu) FE                   = "));
  }
}

TEST(CommandLine, HelpVersionAndRefusals) {
  // Standard input a terminal where the user types Ctrl-D: the notice, then an input error.
  const std::string tty = "import os, pty, subprocess, sys; m, s = pty.openpty(); p = subprocess.Popen(sys.argv[1], "
                          "stdin=s, stdout=subprocess.DEVNULL); os.write(m, bytes([4])); sys.exit(p.wait(60))";
  struct Case { std::string command; int status; std::string output; } cases[] = {
      {"pwave_upscale --help", 0, "usage: pwave_upscale < DECK > REPORT"},
      {"swave_saturation --version", 0, "swave_saturation 1.0.0 (commit "},
      {"swave_spectrum --verbose", 2, "usage: swave_spectrum < DECK > REPORT"},
      {"pwave_upscale --help extra", 2, "--help takes no other argument, got \"extra\""},
  };
  const ScratchDir scratch("command_line");
  const std::string dir = scratch / ".";
  for (const Case& c : cases) {
    const auto [out, status] = output_of("cd " + dir + " && " + bin_path(c.command) + " < /dev/null 2>&1");
    EXPECT_EQ(status, c.status) << c.command;
    EXPECT_TRUE(contains(out, c.output)) << c.command << ": " << out;
  }
  EXPECT_EQ(output_of("ls -A " + dir).first, "");  // none of these is a run: no file written
  const auto [err, status] =
      output_of("cd " + dir + " && " + python_with("pty") + " -c '" + tty + "' " + bin_path("pwave_upscale") + " 2>&1");
  EXPECT_TRUE(contains(err, "reading the input deck from standard input (the terminal)") && status == 2) << err;
  // A deck through a pipe is digested as it is read: all of it, so the file's digest.
  const std::string piped = "cat " + kSource + "/examples/ice_small.deck | " + bin_path("pwave_upscale") + " > /dev/null 2>&1";
  EXPECT_EQ(output_of("cd " + dir + " && " + piped + "; grep '\"deck_sha256\"' run.json | grep -o '[0-9a-f]\\{64\\}'").first,
            sha256sum(kSource + "/examples/ice_small.deck") + "\n");
}
