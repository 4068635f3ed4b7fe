// The build scripts' choice of build folder: the everyday build is ./build, and a special build
// never lands there.
#include <gtest/gtest.h>

#include "tests/e2e/run_program.h"

namespace sorel {
namespace {

using test::quote;

std::string buildDirFor(const std::string& args, const std::string& env = "") {
  auto r = test::runCommand(env + " bash -c " +
                            quote(". " + std::string(SOREL_SOURCE_DIR) + "/scripts/build-dir.sh && sorel_build_dir " + args));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return r.output;
}

TEST(Scripts, SpecialBuildsGetFoldersOfTheirOwn) {
  struct Case {
    const char* args;
    const char* folder;
  };
  const Case cases[] = {
      {"", "build\n"},
      {"-DSOREL_TESTS=ON -DSOREL_BENCH=ON", "build\n"},
      {"-DCMAKE_BUILD_TYPE=RelWithDebInfo", "build\n"},
      {"-DSOREL_SANITIZE=ON", "build-asan\n"},
      {"-DSOREL_TESTS=ON -DSOREL_SANITIZE=ON", "build-asan\n"},
      {"-DSOREL_SANITIZE=OFF", "build\n"},
      {"-DSOREL_FUZZ=ON", "build-fuzz\n"},
      {"-DCMAKE_BUILD_TYPE=Debug", "build-debug\n"},
      {"-DSOREL_SIMD=OFF", "build-nosimd\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(buildDirFor(c.args), c.folder) << c.args;
  EXPECT_EQ(buildDirFor("-DSOREL_SANITIZE=ON", "SOREL_BUILD_DIR=mine"), "mine\n");
}

}  // namespace
}  // namespace sorel
