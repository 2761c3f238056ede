#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "run/run_result.h"

namespace tevrol {

// The JSON document of a result (the schema is in the README). Numbers keep
// full precision; NaN and infinities become null; texts that are not valid
// UTF-8 have their bad bytes replaced by U+FFFD.
std::string renderJson(const RunResult& result);

// The null file: a header line, then one line per permuted pass in pass
// order, "type<TAB>permutation<TAB>F_XA<TAB>F_XB", F as %.17g (NaN, Inf, -Inf).
void writeNullHeader(std::FILE* out);
void writeNullLine(std::FILE* out, int32_t pass, const PassF& f);
// The whole file from result.nullF.
void writeNullFile(std::FILE* out, const RunResult& result);

}  // namespace tevrol
