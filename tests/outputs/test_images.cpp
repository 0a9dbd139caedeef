// gnuplot's images in a folder whose image names are planted links: the
// sweep's sweep.png and the maps of --maps (a cell map and the water
// proportion). The file a link leads to is never written; the run says which
// image it refused and ends with a non-zero status.
#include "programs.hpp"

namespace {

using namespace outputs_test;
using GnuplotImages = Scratch;

}  // namespace

TEST_F(GnuplotImages, SweepAndMapsNeverDrawThroughAPlantedLink) {
  stand_in_gnuplot();
  const std::string target = victim();
  fs::create_directory(at("sw"));
  fs::create_symlink("../../victim", at("sw/sweep.png"));
  EXPECT_EQ(sh(dir, sweep_command("pwave_upscale " + examples() + "/ice_small.deck --freq 1,10 -o sw")), 1);
  EXPECT_EQ(read_all(target), "keep\n");
  EXPECT_TRUE(is_link(at("sw/sweep.png")));
  const std::string err = read_all(root + "/err.txt");
  EXPECT_TRUE(has(err, "\"sw/sweep.png\" is a symbolic link")) << err;
  EXPECT_TRUE(fs::exists(at("sw/sweep.csv")));  // the table is written all the same
  // A point folder of the sweep: every map and the water proportion drawn
  // when nothing is planted, none through a link when something is.
  std::string point;
  for (const auto& e : fs::recursive_directory_iterator(at("sw/points")))
    if (e.path().filename() == "input.deck") point = e.path().parent_path().string();
  ASSERT_FALSE(point.empty());
  ASSERT_EQ(sh(dir, sweep_command("--maps " + point + " > maps.txt")), 0) << read_all(root + "/err.txt");
  ASSERT_TRUE(fs::exists(point + "/water_proportion.png") && fs::exists(point + "/real_strain1_map.png"));
  for (const char* name : {"water_proportion.png", "real_strain1_map.png"}) {
    fs::remove(point + "/" + name);
    fs::create_symlink(target, point + "/" + name);
    EXPECT_EQ(sh(dir, sweep_command("--maps " + point + " > maps.txt")), 1) << name;
    EXPECT_TRUE(has(read_all(root + "/err.txt"), std::string(name) + "\" is a symbolic link")) << read_all(root + "/err.txt");
    EXPECT_EQ(read_all(target), "keep\n") << name;
    fs::remove(point + "/" + name);
  }
  for (const auto& e : fs::directory_iterator(point))  // no private folder of gnuplot stays
    EXPECT_EQ(e.path().filename().string().rfind(".gnuplot.", 0), std::string::npos) << e.path();
}
