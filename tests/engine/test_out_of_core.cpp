// The own backend with its factors on disk: the same bits as in memory
// (the factors read back in runs of fronts in both directions), the file
// written in pieces, gone while in use and after, never created through a
// link, and a full disk stopping the factorisation with a sentence.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "engine/factor_file.hpp"
#include "tests/engine/support.hpp"
#include "tests/support/refusal.hpp"

namespace {

using namespace engine_test;
namespace fs = std::filesystem;

// Sizes of the files in `dir` this process holds open after deleting them.
std::vector<std::int64_t> open_deleted_files(const std::string& dir) {
  std::vector<std::int64_t> sizes;
  for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const std::string target = fs::read_symlink(e.path(), ec).string();
    struct stat st {};
    if (!ec && target.starts_with(dir + "/") && target.ends_with("(deleted)") && ::stat(e.path().c_str(), &st) == 0)
      sizes.push_back(st.st_size);
  }
  return sizes;
}

// pwrite onto a disk of `room` bytes, at most `chunk` bytes a call.
engine::detail::WriteCall small_disk(std::int64_t room, std::size_t chunk) {
  return [room, chunk](int fd, const void* data, std::size_t bytes, std::int64_t at) -> std::int64_t {
    if (at >= room) {
      errno = ENOSPC;
      return -1;
    }
    return ::pwrite(fd, data, std::min({bytes, chunk, static_cast<std::size_t>(room - at)}), at);
  };
}

struct Solved {
  std::vector<zcomplex> plain, refined, refined_again;
  engine::Statistics stats;
};

// Two frequencies on one analysis (the second with its imaginary part
// doubled). Out of core the factor file is one unlinked file of the plan's
// size while in use, none before the factorisation, rewritten in place by
// the next one, and closed with the solver.
Solved solve_twice(const engine::Pattern& p, std::vector<zcomplex> values, const std::vector<zcomplex>& b,
                   const engine::Options& o) {
  const auto files = [&](std::vector<std::int64_t> sizes) {  // and no name left behind
    EXPECT_TRUE(o.out_of_core_dir.empty() || (open_deleted_files(o.out_of_core_dir) == sizes && fs::is_empty(o.out_of_core_dir)));
  };
  auto s = engine::make_solver(engine::Backend::own);
  s->analyse(p, o);
  files({});
  Solved r{b, b, b, {}};
  s->factorise(values);
  s->solve(r.plain, 2, false);
  s->solve(r.refined, 2, true);
  files({s->statistics().disk_bytes});
  for (zcomplex& z : values) z.im *= 2;
  s->factorise(values);
  s->solve(r.refined_again, 2, true);
  files({s->statistics().disk_bytes});
  r.stats = s->statistics();
  s.reset();
  files({});
  return r;
}

// A grid system (pwrite) and a random one (written 1000 bytes a call), on
// one and two threads.
TEST(EngineOutOfCore, SameBitsAsInMemoryOnAGridAndARandomSystemWrittenInPieces) {
  const support::ScratchDir dir("engine_ooc");
  const auto g = ice_grid(20);
  ASSERT_TRUE(g.has_value());
  const Coo r = random_system(260, 420, 7);
  for (const bool grid : {true, false})
    for (int threads : {1, 2}) {
      SCOPED_TRACE(testing::Message() << (grid ? "grid" : "random") << ", threads " << threads);
      const engine::Pattern& p = grid ? g->pattern : r.pattern;
      engine::Options o;
      o.threads = threads;
      o.grid = grid ? &g->places : nullptr;
      const std::vector<zcomplex> b = random_block(p.n, 2, 3);
      const Solved in = solve_twice(p, grid ? g->values : r.values, b, o);
      o.out_of_core_dir = dir.path();
      if (!grid) o.out_of_core_write = small_disk(in.stats.disk_bytes, 1000);
      const Solved out = solve_twice(p, grid ? g->values : r.values, b, o);
      EXPECT_TRUE(same_bits(in.plain, out.plain) && same_bits(in.refined, out.refined) &&
                  same_bits(in.refined_again, out.refined_again));
      EXPECT_EQ(in.stats.refinement_steps, out.stats.refinement_steps);
      EXPECT_LE(out.stats.backward_error, 1e-14);
      // The same plan, with the factor's words moved from memory to disk.
      EXPECT_EQ(out.stats.in_core_bytes, in.stats.memory_bytes);
      EXPECT_EQ(out.stats.memory_bytes, out.stats.out_of_core_bytes);
      EXPECT_EQ(out.stats.disk_bytes, in.stats.disk_bytes);
      EXPECT_GE(out.stats.disk_bytes, 16 * out.stats.factor_entries);
      // What the arrays hold never exceeds the plan; in core it holds the factor itself.
      EXPECT_LE(out.stats.held_bytes, out.stats.memory_bytes);
      EXPECT_LE(in.stats.held_bytes, in.stats.memory_bytes);
      EXPECT_GE(in.stats.held_bytes, 16 * in.stats.factor_entries);
    }
}

// On a grid the panels and the read buffer are a fraction of the factor:
// the memory check says which mode fits, before anything is allocated,
// naming the need and the limit; no solve follows a refusal.
TEST(EngineOutOfCore, TheMemoryCheckNamesTheModeThatFits) {
  const support::ScratchDir dir("engine_ooc");
  const auto g = ice_grid(20);
  ASSERT_TRUE(g.has_value());
  engine::Options o;
  o.grid = &g->places;
  auto s = engine::make_solver(engine::Backend::own);
  s->analyse(g->pattern, o);
  const engine::Statistics st = s->statistics();
  ASSERT_LT(st.out_of_core_bytes, st.in_core_bytes);
  const auto out_of_memory = [&](std::int64_t limit, const std::string& says) {
    o.memory_limit = limit;
    s->analyse(g->pattern, o);
    try {
      s->factorise(g->values);
      ADD_FAILURE() << "no OutOfMemory";
    } catch (const engine::OutOfMemory& e) {
      const std::string what = e.what();
      EXPECT_TRUE(e.needed_bytes == s->memory_needed() && e.available_bytes == limit);
      EXPECT_TRUE(support::contains(what, says) && support::contains(what, std::to_string(e.needed_bytes)) &&
                  support::contains(what, std::to_string(limit) + " bytes")) << what;
    }
    std::vector<zcomplex> x(static_cast<std::size_t>(g->pattern.n));
    EXPECT_THROW(s->solve(x, 1), std::logic_error);
  };
  out_of_memory((st.out_of_core_bytes + st.in_core_bytes) / 2, "which fits: name a folder for the factors");
  o.out_of_core_dir = dir.path();
  s->analyse(g->pattern, o);
  EXPECT_EQ(s->memory_needed(), st.out_of_core_bytes);
  s->factorise(g->values);  // fits out of core
  out_of_memory(st.out_of_core_bytes / 2, "does not fit either");
}

// A full disk and a link in the factors' place stop the run with a
// sentence naming the folder; nothing is left behind or written through.
TEST(EngineOutOfCore, AFullDiskOrALinkStopsWithASentence) {
  const support::ScratchDir dir("engine_ooc");
  const Coo a = random_system(200, 330, 12);
  engine::Options o;
  o.out_of_core_dir = dir.path();
  o.out_of_core_write = small_disk(16 * 200, 1 << 20);
  auto s = engine::make_solver(engine::Backend::own);
  s->analyse(a.pattern, o);
  std::string what = "no DiskFull";
  try {
    s->factorise(a.values);
  } catch (const engine::DiskFull& e) {
    what = e.what();
  }
  EXPECT_TRUE(support::contains(what, "full") && support::contains(what, dir.path())) << what;
  std::vector<zcomplex> x = random_block(200, 1, 4);
  EXPECT_THROW(s->solve(x, 1), std::logic_error);
  s.reset();
  EXPECT_TRUE(open_deleted_files(dir.path()).empty() && fs::is_empty(dir.path()));

  const std::string target = dir / "target", path = dir / "factors";
  std::ofstream(target) << "keep";
  fs::create_symlink(target, path);
  const std::string why = support::refusal([&] { engine::detail::FactorFile file(path); });
  EXPECT_TRUE(support::contains(why, path) && support::contains(why, "link")) << why;
  EXPECT_EQ(support::slurp(target), "keep");
  o.out_of_core_dir = dir / "absent";  // a folder that is not there is named before any work
  const std::string absent = support::refusal([&] { engine::make_solver(engine::Backend::own)->analyse(a.pattern, o); });
  EXPECT_TRUE(support::contains(absent, o.out_of_core_dir)) << absent;
}

}  // namespace
