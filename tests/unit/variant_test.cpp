#include "data/variant_reader.h"

#include <gtest/gtest.h>
#include <htslib/hts.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "data/data_table.h"
#include "data/input.h"
#include "data/input_stream.h"
#include "test_support.h"

namespace tevrol {
namespace {

using test::errorReport;
using test::writeTempFile;

const char* const kHeader =
    "##fileformat=VCFv4.2\n##contig=<ID=1,length=100000>\n##contig=<ID=2,length=100000>\n"
    "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n"
    "##FORMAT=<ID=DP,Number=1,Type=Integer,Description=\"Depth\">\n"
    "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT";

// A VCF of these samples and record lines.
std::string vcf(const std::vector<std::string>& samples, const std::string& records) {
  std::string text = kHeader;
  for (const std::string& s : samples) text += "\t" + s;
  return text + "\n" + records;
}

std::string sheetOf(const std::vector<std::string>& samples) {
  std::string text = "sample\tx\ty\n";
  for (size_t k = 0; k < samples.size(); ++k) {
    text += samples[k] + "\t" + (k % 2 == 0 ? "a" : "b") + "\t" + (k % 3 == 0 ? "p" : "q") + "\n";
  }
  return writeTempFile("sheet.tsv", text);
}

// Every locus column as NAME=cell,cell,...; then the summary's counts.
std::string dump(const std::string& path, const std::string& sheet, bool haplotypes = false,
                 std::vector<std::string> regions = {}) {
  InputOptions options;
  options.samples = sheet;
  options.haplotypes = haplotypes;
  options.regions = std::move(regions);
  DataTable table(kReadBlockBytes);
  InputSummary summary;
  readInput(path, options, table, summary, {});
  std::string out;
  for (int32_t c = 2; c < table.columnCount(); ++c) {
    out += table.fieldNames(c) + "=";
    for (int32_t r = 0; r < table.rowCount(); ++r) out += (r == 0 ? "" : ",") + table.cell(r, c);
    out += " ";
  }
  return out + "| " + summary.format + " " + std::to_string(summary.records) + " " +
         std::to_string(summary.singleState) + " " + std::to_string(summary.missingValues);
}

// The plain VCF at `from` rewritten by htslib in `mode` ("wz": bgzip, "wb":
// BCF) and indexed.
std::string rewrite(const std::string& from, const std::string& name, const char* mode) {
  const std::string to = from.substr(0, from.rfind('/') + 1) + name;
  htsFile* in = hts_open(from.c_str(), "r");
  htsFile* out = hts_open(to.c_str(), mode);
  bcf_hdr_t* header = bcf_hdr_read(in);
  EXPECT_EQ(bcf_hdr_write(out, header), 0);
  bcf1_t* record = bcf_init();
  while (bcf_read(in, header, record) == 0) EXPECT_EQ(bcf_write(out, header, record), 0);
  bcf_destroy(record);
  bcf_hdr_destroy(header);
  hts_close(in);
  hts_close(out);
  EXPECT_EQ(mode[1] == 'b' ? bcf_index_build(to.c_str(), 14) : tbx_index_build(to.c_str(), 0, &tbx_conf_vcf), 0);
  return to;
}

std::string bytesOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Variants, GenotypesAreUnorderedSetsAndHaplotypesFollowThePhase) {
  const std::vector<std::string> samples = {"s1", "s2", "s3", "s4", "s5", "s6"};
  const std::string sheet = sheetOf(samples);
  const std::string records =
      "1\t10\t.\tA\tG\t.\t.\t.\tGT\t0/0\t0/1\t1/0\t1|0\t./.\t0/.\n"
      "1\t20\t.\tA\tG,T\t.\t.\t.\tGT:DP\t0/2:3\t2/0:3\t1/2:3\t2|1:3\t0/0:3\t2/2:3\n"
      "1\t30\t.\tA\tG\t.\t.\t.\tGT\t1\t1/1\t0\t0/0\t.\t1\n"
      "1\t40\t.\tA\tG\t.\t.\t.\tDP\t3\t3\t3\t3\t3\t3\n"
      "2\t50\t.\tA\tG\t.\t.\t.\tGT\t0|0\t0/0\t./.\t0|0\t0/.\t0/0\n";
  EXPECT_EQ(dump(writeTempFile("g.vcf", vcf(samples, records)), sheet),
            "1:10=0/0,0/1,0/1,0/1,.,. 1:20=0/2,0/2,1/2,1/2,0/0,2/2 1:30=1,1/1,0,0/0,.,1 "
            "| vcf 5 2 11");
  // Haplotypes: a phased or a homozygous call gives each its allele; an
  // unphased one of different alleles (a missing one included) none.
  const std::string phased =
      "1\t10\t.\tA\tG\t.\t.\t.\tGT\t0|1\t1|0\t0/1\t1/1\t./.\t0|.\n"
      "1\t20\t.\tA\tG\t.\t.\t.\tDP\t3\t3\t3\t3\t3\t3\n"
      "1\t30\t.\tA\tG,T\t.\t.\t.\tGT\t2|1\t.\t1/0\t0|2\t1/.\t2/2\n";
  EXPECT_EQ(dump(writeTempFile("h.vcf", vcf(samples, phased)), sheet, true),
            "1:10=0,1,1,0,.,.,1,1,.,.,0,. 1:30=2,1,.,.,.,.,0,2,.,.,2,2 | vcf 3 1 23");
  const std::string mixed = writeTempFile(
      "m.vcf", vcf(samples, phased + "1\t40\t.\tA\tG\t.\t.\t.\tGT\t0|1\t1\t0|1\t1|1\t0|0\t0|1\n"));
  // A call missing altogether in the first record says nothing of ploidy.
  const std::string firstMissing = writeTempFile(
      "f.vcf", vcf(samples, "1\t10\t.\tA\tG\t.\t.\t.\tGT\t.\t1|0\t0|1\t1\t0|0\t0|1\n"
                            "1\t20\t.\tA\tG\t.\t.\t.\tGT\t0|1\t1|0\t0|1\t0\t0|0\t0|1\n"));
  EXPECT_EQ(dump(firstMissing, sheet, true),
            "1:10=.,.,1,0,0,1,1,0,0,0,1 1:20=0,1,1,0,0,1,0,0,0,0,1 | vcf 2 0 2");
  const std::string haploidLater = writeTempFile(
      "l.vcf", vcf(samples, "1\t10\t.\tA\tG\t.\t.\t.\tGT\t.\t1|0\t0|1\t1\t0|0\t0|1\n"
                            "1\t20\t.\tA\tG\t.\t.\t.\tGT\t0\t1|0\t0|1\t0\t0|0\t0|1\n"));
  EXPECT_NE(errorReport([&] { dump(haploidLater, sheet, true); })
                .find("but 2 alleles in the first record (a missing call, counted as its longest)"),
            std::string::npos);
  const std::string noPosition =
      writeTempFile("p.vcf", vcf(samples, "1\tx\t.\tA\tG\t.\t.\t.\tGT\t0\t1\t0\t1\t0\t1\n"));
  EXPECT_EQ(errorReport([&] { dump(noPosition, sheet); }),
            "ERROR: Record 1 of " + noPosition + " has no position: its POS is not a number from 1 on\n");
  EXPECT_EQ(errorReport([&] { dump(mixed, sheet, true); }),
            "ERROR: Sample \"s2\" has 1 allele at 1:40 of " + mixed +
                " but 2 alleles in the first record: with --haplotypes a sample keeps its number of "
                "haplotypes\n");
}

TEST(Variants, RegionsReadTheRecordsWhosePositionTheyHold) {
  const std::vector<std::string> samples = {"s1", "s2", "s3", "s4"};
  const std::string sheet = sheetOf(samples);
  std::string records;
  std::string inRegions;
  const char* calls[] = {"0/0\t0/1\t1/1\t0/1", "0|1\t1|1\t0|0\t1|0", "1/1\t0/0\t0/1\t./."};
  for (int k = 0; k < 60; ++k) {
    const int chrom = k < 40 ? 1 : 2;
    const int pos = 100 + 10 * (k % 40);
    const std::string line = std::to_string(chrom) + "\t" + std::to_string(pos) +
                             "\t.\tA\tG\t.\t.\t.\tGT\t" + calls[k % 3] + "\n";
    records += line;
    // 1:200-300 and 1:250-400 overlap; 2 is whole; 1:455 a single position,
    // where a record that starts before it and reaches into it is not read.
    if ((chrom == 1 && pos >= 200 && pos <= 400) || chrom == 2) inRegions += line;
    if (chrom == 1 && pos == 450) {
      records += "1\t451\t.\tAAAAAAAAAA\tG\t.\t.\t.\tGT\t0/0\t0/1\t1/1\t1/1\n";
      const std::string at = "1\t455\t.\tA\tG\t.\t.\t.\tGT\t0/0\t0/1\t1/1\t0/1\n";
      records += at;
      inRegions += at;
    }
  }
  const std::string plain = writeTempFile("all.vcf", vcf(samples, records));
  std::string expected = dump(writeTempFile("cut.vcf", vcf(samples, inRegions)), sheet);
  expected.replace(expected.find("| vcf"), 5, "| FMT");
  const std::vector<std::string> regions = {"1:250-400", "2", "1:200-300", "1:455"};
  for (const auto& [name, mode, format] :
       {std::tuple{"all.vcf.gz", "wz", "vcf"}, std::tuple{"all.bcf", "wb", "bcf"}}) {
    const std::string file = rewrite(plain, name, mode);
    std::string want = expected;
    want.replace(want.find("| FMT"), 5, std::string("| ") + format);
    EXPECT_EQ(dump(file, sheet, false, regions), want) << name;
    EXPECT_EQ(dump(file, sheet), dump(plain, sheet).replace(dump(plain, sheet).find("| vcf"), 5,
                                                           std::string("| ") + format))
        << name;
    EXPECT_NE(errorReport([&] { dump(file, sheet, false, {"3:1-10"}); }).find("no sequence of that name"),
              std::string::npos);
    // Far beyond any genome: no records (the index alone would never return).
    EXPECT_EQ(dump(file, sheet, false, {"1:1000000000000000000"}),
              std::string("| ") + format + " 0 0 0");
  }
}

TEST(Variants, DamagedOrTruncatedFilesAreErrors) {
  std::vector<std::string> samples;
  for (int s = 0; s < 20; ++s) samples.push_back("s" + std::to_string(s));
  const std::string sheet = sheetOf(samples);
  std::string records;
  for (int k = 0; k < 4000; ++k) {
    records += "1\t" + std::to_string(10 + k) + "\t.\tA\tG\t.\t.\t.\tGT";
    for (int s = 0; s < 20; ++s) records += (s + k) % 3 == 0 ? "\t0|1" : "\t1|1";
    records += "\n";
  }
  const std::string plain = writeTempFile("big.vcf", vcf(samples, records));
  for (const auto& [name, mode] : {std::pair{"big.vcf.gz", "wz"}, std::pair{"big.bcf", "wb"}}) {
    const std::string bytes = bytesOf(rewrite(plain, name, mode));
    ASSERT_GT(bytes.size(), 2000u);
    std::string damaged = bytes;
    damaged[damaged.size() * 3 / 4] ^= 0x5a;
    const std::string cuts[] = {damaged, bytes.substr(0, bytes.size() * 3 / 4),
                                bytes.substr(0, bytes.size() - 28)};
    for (const std::string& cut : cuts) {
      const std::string path = writeTempFile(std::string("bad-") + name, cut);
      const std::string report = errorReport([&] { dump(path, sheet); });
      EXPECT_EQ(report.rfind("ERROR: ", 0), 0u) << name << " " << cut.size() << ": " << report;
    }
    // A pipe is read by the stream, which tells a cut between bgzip blocks.
    for (const std::string& whole : {bytes, bytes.substr(0, bytes.size() - 28)}) {
      InputStream stream(writeTempFile(std::string("stream-") + name, whole));
      std::vector<char> buffer(1 << 16);
      int64_t got = 0;
      while ((got = stream.read(buffer.data(), buffer.size())) > 0) {
      }
      EXPECT_EQ(got, whole == bytes ? 0 : -1) << name << ": " << stream.failure();
    }
  }
  // A BCF may store GT as text: an error, with no byte read beyond the text.
  const std::string textGt = writeTempFile("text-gt.bcf", "");
  htsFile* out = hts_open(textGt.c_str(), "wb");
  bcf_hdr_t* header = bcf_hdr_init("w");
  EXPECT_EQ(bcf_hdr_append(header, "##contig=<ID=1>"), 0);
  EXPECT_EQ(bcf_hdr_append(header, "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"\">"), 0);
  for (const std::string& s : samples) EXPECT_EQ(bcf_hdr_add_sample(header, s.c_str()), 0);
  EXPECT_EQ(bcf_hdr_write(out, header), 0);
  bcf1_t* record = bcf_init();
  record->pos = 9;
  EXPECT_EQ(bcf_update_alleles_str(header, record, "A,G"), 0);
  std::vector<const char*> calls(samples.size(), "0/1 written as text");
  EXPECT_EQ(bcf_update_format_string(header, record, "GT", calls.data(), 20), 0);
  EXPECT_EQ(bcf_write(out, header, record), 0);
  bcf_destroy(record);
  bcf_hdr_destroy(header);
  hts_close(out);
  EXPECT_EQ(errorReport([&] { dump(textGt, sheet, true); }),
            "ERROR: Record 1 of " + textGt + " (1:10) has a GT that is not whole numbers\n");
}

}  // namespace
}  // namespace tevrol
