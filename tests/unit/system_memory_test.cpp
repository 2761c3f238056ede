#include "base/system_memory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "test_support.h"

namespace tevrol {
namespace {

void writeLimit(const std::string& dir, const std::string& file, const std::string& text) {
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/" + file) << text;
}

// A limit binds the group's children, so the smallest on the path counts;
// "max" and missing files mean none.
TEST(SystemMemory, CgroupLimitIsTheSmallestOnThePath) {
  const std::string root = test::writeTempFile("unused", "");
  const std::string base = root.substr(0, root.rfind('/'));
  writeLimit(base + "/job/step", "memory.max", "max\n");
  writeLimit(base + "/job", "memory.max", "4294967296\n");
  EXPECT_EQ(cgroupMemoryLimit("0::/job/step\n", base), 4294967296u);
  EXPECT_EQ(cgroupMemoryLimit("0::/other\n", base), UINT64_MAX);

  writeLimit(base + "/memory/batch", "memory.limit_in_bytes", "1073741824\n");
  writeLimit(base + "/memory", "memory.limit_in_bytes", "9223372036854771712\n");
  EXPECT_EQ(cgroupMemoryLimit("5:cpu,memory:/batch\n1:cpu:/job\n", base), 1073741824u);
  EXPECT_EQ(cgroupMemoryLimit("5:memory:/gone\n0::/job/step\n", base), 4294967296u);
  EXPECT_EQ(cgroupMemoryLimit("garbage\n", base), UINT64_MAX);
}

}  // namespace
}  // namespace tevrol
