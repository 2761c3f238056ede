#pragma once

#include <functional>
#include <memory>
#include <string>

#include "data/data_table.h"

namespace tevrol::test {

// The report of the error the function throws (the lines the command line
// prints for it), or "no error".
std::string errorReport(const std::function<void()>& body);

// A table parsed from the bytes of a data file.
std::unique_ptr<DataTable> tableFromText(const std::string& text);

// A file with these bytes in a fresh temporary folder; returns its path.
std::string writeTempFile(const std::string& name, const std::string& bytes);

// The eight rows of the balanced example and the six of the unbalanced one.
extern const char* const kBalancedData;
extern const char* const kUnbalancedData;

}  // namespace tevrol::test
