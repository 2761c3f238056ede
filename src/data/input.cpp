#include "data/input.h"

#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "base/fatal.h"
#include "data/data_table.h"
#include "data/fasta_reader.h"
#include "data/input_stream.h"
#include "data/variant_reader.h"

namespace tevrol {

namespace {

// Names listed in a note: a few, then how many more.
constexpr size_t kNamesInNote = 5;

std::string quoted(const std::string& name) {
  return "\"" + name + "\"";
}

std::string someNames(const std::vector<const std::string*>& names) {
  std::string text;
  for (size_t k = 0; k < names.size() && k < kNamesInNote; ++k) {
    text += (k == 0 ? "" : ", ") + *names[k];
  }
  if (names.size() > kNamesInNote) text += ", ...";
  return text;
}

// The sample sheet: a row per sample name, and the two factor columns.
class SampleSheet {
 public:
  SampleSheet(const std::string& path, const std::vector<std::string>& factors)
      : path_(path), table_(kReadBlockBytes) {
    table_.read(path);
    if (factors.empty()) {
      if (table_.columnCount() < 3) {
        fatalError("Sample sheet " + path +
                   " must have at least three columns: sample name, factor 1 and factor 2");
      }
      column_ = {1, 2};
    } else {
      for (size_t f = 0; f < 2; ++f) column_[f] = columnNamed(factors[f]);
    }
    for (int32_t r = 0; r < table_.rowCount(); ++r) {
      if (!rowOf_.emplace(table_.cell(r, 0), r).second) {
        fatalError("Sample name " + quoted(table_.cell(r, 0)) + " occurs twice in " + path);
      }
    }
  }

  const std::string& path() const { return path_; }
  int32_t rows() const { return table_.rowCount(); }
  const std::string& name(int32_t row) const { return table_.cell(row, 0); }
  const std::string& factorName(size_t f) const { return table_.fieldNames(column_[f]); }
  const std::string& level(int32_t row, size_t f) const { return table_.cell(row, column_[f]); }
  // The row of a sample name; -1 when it has none.
  int32_t rowOf(const std::string& name) const {
    const auto found = rowOf_.find(name);
    return found == rowOf_.end() ? -1 : found->second;
  }

 private:
  int32_t columnNamed(const std::string& name) const {
    for (int32_t c = 1; c < table_.columnCount(); ++c) {
      if (table_.fieldNames(c) == name) return c;
    }
    fatalError("Sample sheet " + path_ + " has no column named " + quoted(name));
  }

  std::string path_;
  DataTable table_;
  std::array<int32_t, 2> column_{};
  std::unordered_map<std::string, int32_t> rowOf_;
};

// One character in upper case, U read as T, as the alignment's values are.
std::string alignmentValue(const std::string& text) {
  if (text.size() != 1) {
    fatalError("Option --missing: a missing value of an alignment is one character, not " +
               quoted(text));
  }
  char c = text[0];
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (c == 'U') c = 'T';
  return std::string(1, c);
}

MissingRule alignmentMissingRule(const InputOptions& options) {
  MissingRule rule;
  if (!options.hasMissing) {
    rule.kind = MissingRule::Kind::AllBut;
    rule.texts = {"A", "C", "G", "T"};
    return rule;
  }
  rule.kind = MissingRule::Kind::Listed;
  for (const std::string& text : options.missing) rule.texts.push_back(alignmentValue(text));
  return rule;
}

// The individuals' rows in the sheet, from the records (sequences or
// samples) of a file: those of a name the sheet has, in file order. Tells
// the user of records and rows left out.
std::vector<int32_t> matchSheet(const SampleSheet& sheet, const std::vector<std::string>& names,
                                const std::vector<uint8_t>& kept, const std::string& file,
                                const std::string& recordsAre, InputSummary& summary,
                                const NoticeSink& notice) {
  std::vector<int32_t> sheetRow;
  std::vector<const std::string*> withoutRow;
  std::unordered_set<std::string> matched;
  for (size_t k = 0; k < names.size(); ++k) {
    if (kept[k] != 0) {
      sheetRow.push_back(sheet.rowOf(names[k]));
      if (!matched.insert(names[k]).second) {
        fatalError("Sample name " + quoted(names[k]) + " occurs twice in " + file);
      }
    } else {
      withoutRow.push_back(&names[k]);
    }
  }
  if (sheetRow.empty()) fatalError("No sample of " + file + " has a row in " + sheet.path());
  std::vector<const std::string*> withoutRecord;
  for (int32_t r = 0; r < sheet.rows(); ++r) {
    if (matched.count(sheet.name(r)) == 0) withoutRecord.push_back(&sheet.name(r));
  }
  if (notice && !withoutRow.empty()) {
    notice(std::to_string(withoutRow.size()) + " of the " + std::to_string(names.size()) + " " +
           recordsAre + " of " + file +
           (withoutRow.size() == 1 ? " has no row in " : " have no row in ") + sheet.path() +
           (withoutRow.size() == 1 ? " and is left out: " : " and are left out: ") +
           someNames(withoutRow));
  }
  if (notice && !withoutRecord.empty()) {
    std::string one = recordsAre;
    one.pop_back();
    notice(std::to_string(withoutRecord.size()) + " of the " + std::to_string(sheet.rows()) +
           " rows of " + sheet.path() + (withoutRecord.size() == 1 ? " has no " : " have no ") +
           one + " in " + file + ": " +
           someNames(withoutRecord));
  }
  summary.samples = sheet.path();
  summary.recordsWithoutRow = static_cast<int64_t>(withoutRow.size());
  summary.rowsWithoutRecord = static_cast<int64_t>(withoutRecord.size());
  return sheetRow;
}

// The factor columns of the individuals, each `copies` rows of its sheet row.
void assignFactors(const SampleSheet& sheet, const std::vector<int32_t>& sheetRow,
                   const std::vector<int32_t>& copies, DataTable& table) {
  std::vector<int32_t> rowOfIndividual;
  for (size_t k = 0; k < sheetRow.size(); ++k) {
    rowOfIndividual.insert(rowOfIndividual.end(), static_cast<size_t>(copies[k]), sheetRow[k]);
  }
  table.assign({sheet.factorName(0), sheet.factorName(1)},
               static_cast<int32_t>(rowOfIndividual.size()), [&](int32_t r, int32_t c) {
                 return std::string_view(sheet.level(rowOfIndividual[static_cast<size_t>(r)],
                                                     static_cast<size_t>(c)));
               });
}

std::string displayName(const std::string& path) {
  return path == "-" ? "standard input" : path;
}

void requireSheet(const InputOptions& options, const std::string& file, const std::string& is) {
  if (options.samples.empty()) {
    fatalError(file + " is " + is +
               ": give the factors of its samples in a sample sheet with --samples FILE");
  }
}

void readAlignment(BlockReader& blocks, const char* first, size_t size, const std::string& path,
                   const InputOptions& options, DataTable& table, InputSummary& summary,
                   const NoticeSink& notice) {
  const std::string file = displayName(path);
  requireSheet(options, file, "an alignment (FASTA)");
  const SampleSheet sheet(options.samples, options.factors);
  FastaOptions fasta;
  fasta.file = file;
  fasta.rule = alignmentMissingRule(options);
  fasta.keep = [&sheet](const std::string& name) { return sheet.rowOf(name) >= 0; };
  FastaParser parser(fasta);
  for (const char* block = first; size > 0; block = blocks.next(size)) parser.feed(block, size);
  FastaAlignment alignment = parser.finish();

  const std::vector<int32_t> sheetRow =
      matchSheet(sheet, alignment.names, alignment.kept, file, "sequences", summary, notice);
  assignFactors(sheet, sheetRow, std::vector<int32_t>(sheetRow.size(), 1), table);
  for (FastaSite& site : alignment.variable) {
    table.appendColumn(std::to_string(site.position), site.texts, std::move(site.codes));
  }
  summary.format = "fasta";
  summary.missing = fasta.rule;
  summary.records = static_cast<int64_t>(alignment.names.size());
  summary.sites = alignment.sites;
  summary.missingValues = alignment.missingValues;
  summary.singleState = alignment.singleStateSites;
}

void readVariantFile(BlockReader& blocks, const char* first, size_t size, const std::string& path,
                     const InputOptions& options, DataTable& table, InputSummary& summary,
                     const NoticeSink& notice) {
  const std::string file = displayName(path);
  requireSheet(options, file, "a VCF or BCF file");
  if (options.hasMissing) {
    fatalError("Option --missing is for tables and alignments: in " + file +
               " a missing call ('.', './.', '0/.') is always missing");
  }
  const SampleSheet sheet(options.samples, options.factors);
  VariantOptions variant;
  variant.path = path;
  variant.file = file;
  variant.haplotypes = options.haplotypes;
  variant.regions = options.regions;
  variant.threads = options.threads;
  variant.keep = [&sheet](const std::string& name) { return sheet.rowOf(name) >= 0; };
  VariantData data = readVariants(variant, blocks, first, size);

  const std::vector<int32_t> sheetRow =
      matchSheet(sheet, data.samples, data.kept, file, "samples", summary, notice);
  assignFactors(sheet, sheetRow, data.individualsOf, table);
  for (VariantSite& site : data.variable) {
    table.appendColumn(std::move(site.name), site.texts, std::move(site.codes));
  }
  summary.format = data.format;
  summary.haplotypes = options.haplotypes;
  summary.regions = options.regions;
  summary.fileSamples = static_cast<int64_t>(data.samples.size());
  summary.missing.kind = MissingRule::Kind::Listed;
  summary.missing.texts = {kMissingCall};
  summary.records = data.records;
  summary.sites = data.records;
  summary.missingValues = data.missingValues;
  summary.singleState = data.singleStateSites;
}

// An alignment starts with '>'. So may a table's header, which has two TABs
// or more: without a sheet such a file is read as the table it always was.
bool isAlignment(const char* first, size_t size, const InputOptions& options) {
  if (size == 0 || first[0] != '>') return false;
  if (!options.samples.empty()) return true;
  const char* end = static_cast<const char*>(std::memchr(first, '\n', size));
  const char* stop = end == nullptr ? first + size : end;
  size_t tabs = 0;
  for (const char* c = first; c < stop && *c != '\r'; ++c) tabs += *c == '\t' ? 1 : 0;
  return tabs < 2;
}

}  // namespace

std::vector<std::string> splitList(const std::string& text) {
  std::vector<std::string> items;
  size_t at = 0;
  for (;;) {
    const size_t comma = text.find(',', at);
    items.push_back(text.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
    if (comma == std::string::npos) return items;
    at = comma + 1;
  }
}

void checkMaxMissing(double maxMissing, const std::string& what) {
  if (!(maxMissing >= 0 && maxMissing <= 1)) fatalError(what + " must be a number from 0 to 1");
}

MissingRule tableMissingRule(const InputOptions& options) {
  MissingRule rule;
  if (options.hasMissing) {
    rule.kind = MissingRule::Kind::Listed;
    rule.texts = options.missing;
  }
  return rule;
}

void readInput(const std::string& path, const InputOptions& options, DataTable& table,
               InputSummary& summary, const NoticeSink& notice) {
  checkMaxMissing(options.maxMissing, "Option --max-missing");
  if (!options.factors.empty() && options.factors.size() != 2) {
    fatalError("Option --factors must name two columns of the sample sheet: NAME,NAME");
  }
  if (!options.factors.empty() && options.samples.empty()) {
    fatalError("Option --factors names columns of a sample sheet: give it with --samples FILE");
  }
  if (path == "-" && options.samples == "-") {
    fatalError("The data and the sample sheet cannot both be standard input: give the sheet a file");
  }
  summary = InputSummary();
  summary.maxMissing = options.maxMissing;
  InputStream input(path);
  BlockReader blocks(input, kReadBlockBytes);
  size_t size = 0;
  const char* first = blocks.next(size);
  if (variantFormat(first, size) != VariantFormat::None) {
    readVariantFile(blocks, first, size, path, options, table, summary, notice);
    return;
  }
  if (options.haplotypes || !options.regions.empty()) {
    fatalError(std::string("Option ") + (options.haplotypes ? "--haplotypes" : "--region") +
               " is for VCF and BCF files: " + displayName(path) + " is not one");
  }
  if (isAlignment(first, size, options)) {
    readAlignment(blocks, first, size, path, options, table, summary, notice);
    return;
  }
  if (!options.samples.empty()) {
    fatalError("Option --samples is for alignments and VCF or BCF files: " + displayName(path) +
               " is a table, whose first two columns give the factors");
  }
  table.read(blocks, first, size);
  summary.missing = tableMissingRule(options);
}

}  // namespace tevrol
