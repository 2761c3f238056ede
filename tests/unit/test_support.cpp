#include "test_support.h"

#include <stdlib.h>

#include <cstdio>
#include <fstream>

#include "base/fatal.h"

namespace tevrol::test {

const char* const kBalancedData =
    "pop\tperiod\tL1\tL2\n"
    "p\tx\t1\t1\np\tx\t1\t2\np\ty\t2\t2\np\ty\t2\t2\n"
    "q\tx\t1\t1\nq\tx\t1\t1\nq\ty\t2\t1\nq\ty\t2\t2\n";

const char* const kUnbalancedData =
    "pop\tperiod\tL1\tL2\n"
    "p\tx\t1\t1\np\tx\t1\t1\np\ty\t1\t1\n"
    "q\tx\t1\t2\nq\ty\t2\t1\nq\ty\t2\t2\n";

std::string errorReport(const std::function<void()>& body) {
  try {
    body();
  } catch (const RunError& error) {
    return error.report();
  }
  return "no error";
}

std::unique_ptr<DataTable> tableFromText(const std::string& text) {
  auto table = std::make_unique<DataTable>(100000);
  table->parse(text);
  return table;
}

std::string writeTempFile(const std::string& name, const std::string& bytes) {
  char folder[] = "/tmp/tevrol-test-XXXXXX";
  if (mkdtemp(folder) == nullptr) return "";
  const std::string path = std::string(folder) + "/" + name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

}  // namespace tevrol::test
