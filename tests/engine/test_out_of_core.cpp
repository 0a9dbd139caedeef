// The own backend with its factors on disk: the same bits as in memory,
// the file written, read back in runs of fronts, gone while in use and
// after, never created through a link, and a full disk stopping the
// factorisation with a sentence.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "tests/fixtures/grid_system.hpp"
#include "engine/analysis.hpp"
#include "engine/factor_file.hpp"
#include "run_program.hpp"
#include "tests/engine/support.hpp"
#include "tests/support/refusal.hpp"

namespace {

using namespace engine_test;
namespace fs = std::filesystem;

// Descriptors of this process open on deleted files in `dir`, and their sizes.
std::vector<std::int64_t> open_deleted_files(const std::string& dir) {
  std::vector<std::int64_t> sizes;
  for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const std::string target = fs::read_symlink(e.path(), ec).string();
    if (ec || target.rfind(dir + "/", 0) != 0 || target.find("(deleted)") == std::string::npos) continue;
    struct stat st {};
    if (::stat(e.path().c_str(), &st) == 0) sizes.push_back(st.st_size);
  }
  return sizes;
}

// Two frequencies' worth of values: the matrix, then its imaginary part doubled.
std::vector<zcomplex> second_values(const std::vector<zcomplex>& v) {
  std::vector<zcomplex> w = v;
  for (zcomplex& z : w) z.im *= 2;
  return w;
}

struct Solved {
  std::vector<zcomplex> plain, refined, refined_again;
  engine::Statistics stats;
};

// Out of core, the factor file is one unlinked file of the plan's size
// while in use, none before the factorisation, rewritten in place by the
// next one, and closed with the solver.
Solved solve_twice(const engine::Pattern& p, const std::vector<zcomplex>& values, const std::vector<zcomplex>& b,
                   engine::Options o) {
  const std::string& dir = o.out_of_core_dir;
  const auto files = [&](std::vector<std::int64_t> sizes) {  // and no name left behind
    EXPECT_TRUE(dir.empty() || (open_deleted_files(dir) == sizes && fs::is_empty(dir)));
  };
  auto s = engine::make_solver(engine::Backend::own);
  s->analyse(p, o);
  files({});
  Solved r{b, b, b, {}};
  for (const bool again : {false, true}) {
    s->factorise(again ? second_values(values) : values);
    s->solve(again ? r.refined_again : r.plain, 2, again);
    if (!again) s->solve(r.refined, 2, true);
    files({s->statistics().disk_bytes});
  }
  r.stats = s->statistics();
  s.reset();
  files({});
  return r;
}

TEST(EngineOutOfCore, SameBitsAsInMemoryOnAGridAndARandomSystemAndTheModeThatFits) {
  const support::ScratchDir dir("engine_ooc");
  const auto g = ice_grid(20);
  ASSERT_TRUE(g.has_value());
  const Coo r = random_system(260, 420, 7);
  struct Case {
    const engine::Pattern* p;
    const std::vector<zcomplex>* v;
    const engine::GridPlaces* places;
  };
  for (const Case& c : {Case{&g->pattern, &g->values, &g->places}, Case{&r.pattern, &r.values, nullptr}})
    for (int threads : {1, 2}) {
      engine::Options o;
      o.threads = threads;
      o.grid = c.places;
      const std::vector<zcomplex> b = random_block(c.p->n, 2, 3);
      const Solved in = solve_twice(*c.p, *c.v, b, o);
      o.out_of_core_dir = dir.path();
      const Solved out = solve_twice(*c.p, *c.v, b, o);
      EXPECT_TRUE(same_bits(in.plain, out.plain)) << "threads " << threads;
      EXPECT_TRUE(same_bits(in.refined, out.refined)) << "threads " << threads;
      EXPECT_TRUE(same_bits(in.refined_again, out.refined_again)) << "threads " << threads;
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
  // On a grid the panels and the read buffer are a fraction of the factor;
  // the memory check says which mode fits.
  engine::Options o;
  o.grid = &g->places;
  auto s = engine::make_solver(engine::Backend::own);
  s->analyse(g->pattern, o);
  const engine::Statistics st = s->statistics();
  ASSERT_LT(st.out_of_core_bytes, st.in_core_bytes);
  // Refused before anything is allocated, naming the need and the limit;
  // no solve follows.
  const auto out_of_memory = [&](const std::string& says) {
    s->analyse(g->pattern, o);
    std::string what = "no OutOfMemory";
    try {
      s->factorise(g->values);
    } catch (const engine::OutOfMemory& e) {
      what = e.what();
      EXPECT_TRUE(e.needed_bytes == s->memory_needed() && e.available_bytes == o.memory_limit);
      EXPECT_NE(what.find(std::to_string(e.needed_bytes)), std::string::npos) << what;
      EXPECT_NE(what.find(std::to_string(o.memory_limit) + " bytes"), std::string::npos) << what;
    }
    EXPECT_NE(what.find(says), std::string::npos) << what;
    std::vector<zcomplex> x(static_cast<std::size_t>(g->pattern.n));
    EXPECT_THROW(s->solve(x, 1), std::logic_error);
  };
  o.memory_limit = (st.out_of_core_bytes + st.in_core_bytes) / 2;
  out_of_memory("which fits: name a folder for the factors");
  o.out_of_core_dir = dir.path();
  s->analyse(g->pattern, o);
  EXPECT_EQ(s->memory_needed(), st.out_of_core_bytes);
  s->factorise(g->values);  // fits out of core
  o.memory_limit = st.out_of_core_bytes / 2;
  out_of_memory("does not fit either");
}

TEST(EngineOutOfCore, RunsOfFrontsReadBackEqualTheStoreInBothDirections) {
  const Coo a = random_system(300, 500, 5);
  const engine::detail::InputMatrix in = engine::detail::input_matrix(a.pattern);
  const engine::detail::Plan p = engine::detail::plan(in.lower, engine::detail::metis_order(in.lower));
  const engine::detail::Fronts& f = p.fronts;
  ASSERT_GT(f.nsuper, 10);
  std::vector<zcomplex> store(static_cast<std::size_t>(f.factor_ptr.back()));
  for (std::size_t k = 0; k < store.size(); ++k) store[k] = {static_cast<double>(k), -static_cast<double>(k)};
  const support::ScratchDir dir("engine_ooc");
  engine::detail::FactorFile file(engine::detail::factor_file_path(dir.path()));
  for (Index s = f.nsuper - 1; s >= 0; --s)  // any order of writes
    file.write(f.factor_ptr[s], store.data() + f.factor_ptr[s], f.factor_ptr[s + 1] - f.factor_ptr[s]);
  EXPECT_EQ(file.size_bytes(), 16 * f.factor_ptr.back());
  const Index largest = engine::detail::largest_panel_words(f);
  for (Index budget : {largest, 3 * largest, f.factor_ptr.back()}) {
    engine::detail::FactorBlocks blocks(f, file, budget);
    auto matches = [&](const zcomplex* got, Index s) {
      return std::memcmp(got, store.data() + f.factor_ptr[s], 16 * static_cast<std::size_t>(f.m(s) * f.nc(s))) == 0;
    };
    for (Index s = 0; s < f.nsuper; ++s) ASSERT_TRUE(matches(blocks.ascending(s), s)) << s << " budget " << budget;
    for (Index s = f.nsuper - 1; s >= 0; --s) ASSERT_TRUE(matches(blocks.descending(s), s)) << s;
    for (Index s = f.nsuper / 2; s >= 0; --s) ASSERT_TRUE(matches(blocks.descending(s), s)) << s;
  }
}

TEST(EngineOutOfCore, NeverCreatedThroughALinkOrOverAFile) {
  const support::ScratchDir dir("engine_ooc");
  const std::string target = dir / "target", path = dir / "factors";
  std::ofstream(target) << "keep";
  fs::create_symlink(target, path);
  const std::string why = support::refusal([&] { engine::detail::FactorFile file(path); });
  EXPECT_TRUE(why.find(path) != std::string::npos && why.find("link") != std::string::npos) << why;
  EXPECT_EQ(support::slurp(target), "keep");
  fs::remove(path);
  fs::create_symlink(dir / "nowhere", path);  // a dangling link is not followed either
  EXPECT_THROW(engine::detail::FactorFile{path}, std::runtime_error);
  EXPECT_FALSE(fs::exists(dir / "nowhere"));
  // A folder that is not there is named before any work.
  engine::Options o;
  o.out_of_core_dir = dir / "absent";
  auto s = engine::make_solver(engine::Backend::own);
  EXPECT_NE(support::refusal([&] { s->analyse(random_system(40, 60, 1).pattern, o); }).find(o.out_of_core_dir),
            std::string::npos);
}

// pwrite onto a disk of `room` bytes, at most `chunk` bytes a call.
engine::detail::WriteCall small_disk(std::int64_t room, std::size_t chunk) {
  return [room, chunk](int fd, const void* data, std::size_t bytes, std::int64_t at) -> std::int64_t {
    if (at >= room) {
      errno = ENOSPC;
      return -1;
    }
    bytes = std::min({bytes, chunk, static_cast<std::size_t>(room - at)});
    return ::pwrite(fd, data, bytes, at);
  };
}

// Short writes are completed, and a full disk stops with a sentence.
TEST(EngineOutOfCore, ShortWritesAndAFullDisk) {
  const support::ScratchDir dir("engine_ooc");
  const Coo a = random_system(200, 330, 12);
  const std::vector<zcomplex> b = random_block(200, 2, 4);
  engine::Options o;
  o.out_of_core_dir = dir.path();
  const Solved whole = solve_twice(a.pattern, a.values, b, o);
  o.out_of_core_write = small_disk(whole.stats.disk_bytes, 1000);  // room enough, in pieces of 1000 bytes
  EXPECT_TRUE(same_bits(solve_twice(a.pattern, a.values, b, o).refined, whole.refined));
  o.out_of_core_write = small_disk(whole.stats.disk_bytes / 2, 1 << 20);
  {
    auto s = engine::make_solver(engine::Backend::own);
    s->analyse(a.pattern, o);
    std::string what = "no DiskFull";
    try {
      s->factorise(a.values);
    } catch (const engine::DiskFull& e) {
      what = e.what();
    }
    EXPECT_TRUE(what.find("full") != std::string::npos && what.find(dir.path()) != std::string::npos) << what;
    std::vector<zcomplex> x = b;
    EXPECT_THROW(s->solve(x, 2), std::logic_error);
  }
  EXPECT_TRUE(open_deleted_files(dir.path()).empty());
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

}  // namespace
