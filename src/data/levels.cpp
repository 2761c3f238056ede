#include "data/levels.h"

#include <algorithm>

#include "data/data_table.h"

namespace tevrol {

int64_t CellCounts::total() const {
  int64_t sum = 0;
  for (const int32_t n : counts) sum += n;
  return sum;
}

namespace {

// A sample-size table of millions of cells is handed on in parts of about
// this size rather than held whole.
constexpr size_t kSpillBytes = size_t{1} << 20;

// A text whole (any byte, NUL included), right-aligned in a field.
void appendPadded(std::string& out, const std::string& text, size_t width) {
  if (text.size() < width) out.append(width - text.size(), ' ');
  out += text;
}

}  // namespace

int32_t decimalDigits(int64_t value) {
  int32_t digits = 1;
  for (; value >= 10; value /= 10) ++digits;
  return digits;
}

LevelMap codeLevels(std::string& out, const DataTable& table, int32_t column, const char* ordinal,
                    const std::string& factorName) {
  out += "Levels for ";
  out += ordinal;
  out += " factor (";
  out += factorName;
  out += "):";
  LevelMap levels;
  const auto& values = table.distinctValues(column);
  for (size_t k = 0; k < values.size(); ++k) {
    if (k >= 1) out += ',';
    out += ' ';
    out += values[k];
    levels[values[k]] = static_cast<int32_t>(k + 1);
  }
  out += '\n';
  return levels;
}

CellCounts countCells(const DataTable& table) {
  CellCounts cells;
  cells.levelsA = static_cast<int32_t>(table.distinctValues(0).size());
  cells.levelsB = static_cast<int32_t>(table.distinctValues(1).size());
  cells.counts.assign(static_cast<size_t>(cells.levelsA) * static_cast<size_t>(cells.levelsB), 0);
  for (int32_t r = 0; r < table.rowCount(); ++r) ++cells.at(table.code(r, 0), table.code(r, 1));
  return cells;
}

void appendSampleSizes(std::string& out, const DataTable& table, const CellCounts& cells,
                       const std::function<void(std::string&)>& spill) {
  const auto& namesA = table.distinctValues(0);
  const auto& namesB = table.distinctValues(1);
  size_t w1 = 0;
  for (const auto& name : namesA) w1 = std::max(w1, name.size());
  size_t w2 = static_cast<size_t>(decimalDigits(cells.total()));
  for (const auto& name : namesB) w2 = std::max(w2, name.size());
  w2 += 2;

  out += "Sample sizes:\n";
  appendPadded(out, "", w1);
  out += ' ';
  for (const auto& name : namesB) appendPadded(out, name, w2);
  out += '\n';
  for (int32_t a = 0; a < cells.levelsA; ++a) {
    appendPadded(out, namesA[static_cast<size_t>(a)], w1);
    out += ':';
    for (int32_t b = 0; b < cells.levelsB; ++b) {
      appendPadded(out, std::to_string(cells.at(a, b)), w2);
    }
    out += '\n';
    if (spill && out.size() >= kSpillBytes) spill(out);
  }
  out += '\n';
}

}  // namespace tevrol
