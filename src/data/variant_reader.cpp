#include "data/variant_reader.h"

#include <htslib/bgzf.h>
#include <htslib/hfile.h>
#include <htslib/hts.h>
#include <htslib/hts_log.h>
#include <htslib/kstring.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <thread>
#include <unordered_map>
#include <utility>

#include "base/fatal.h"
#include "data/input_stream.h"

namespace tevrol {

namespace {

struct CloseFile {
  void operator()(htsFile* file) const { hts_close(file); }
};
struct FreeHeader {
  void operator()(bcf_hdr_t* header) const { bcf_hdr_destroy(header); }
};
struct FreeRecord {
  void operator()(bcf1_t* record) const { bcf_destroy(record); }
};
struct FreeIndex {
  void operator()(hts_idx_t* index) const { hts_idx_destroy(index); }
};
struct FreeTabix {
  void operator()(tbx_t* index) const { tbx_destroy(index); }
};
struct FreeIterator {
  void operator()(hts_itr_t* iterator) const { hts_itr_destroy(iterator); }
};

bool isRegularFile(const std::string& path) {
  struct stat status {};
  return path != "-" && ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// Passes a stream's decompressed bytes to htslib through a pipe, from a
// thread of its own: the first block has already been taken from the
// stream, and a pipe or standard input cannot be read again.
class PipeFeeder {
 public:
  PipeFeeder(BlockReader& blocks, const char* first, size_t size) {
    int ends[2];
    if (::pipe(ends) != 0) fatalError("Could not open a pipe: " + std::string(std::strerror(errno)));
    readEnd_ = ends[0];
    writeEnd_ = ends[1];
    worker_ = std::thread([this, &blocks, first, size] { feed(blocks, first, size); });
  }
  ~PipeFeeder() {
    closeReadEnd();
    if (worker_.joinable()) worker_.join();
  }
  PipeFeeder(const PipeFeeder&) = delete;
  PipeFeeder& operator=(const PipeFeeder&) = delete;

  // The end htslib reads; the caller owns it from now on.
  int takeReadEnd() {
    const int end = readEnd_;
    readEnd_ = -1;
    return end;
  }
  // Waits for the thread, after the reading end has been closed; rethrows
  // what went wrong in reading the stream.
  void finish() {
    closeReadEnd();
    if (worker_.joinable()) worker_.join();
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  void closeReadEnd() {
    if (readEnd_ >= 0) ::close(readEnd_);
    readEnd_ = -1;
  }

  void feed(BlockReader& blocks, const char* block, size_t size) {
    // A reader that stops early makes a write fail with EPIPE; the signal
    // would end the process.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    try {
      bool open = true;
      while (open && size > 0) {
        for (size_t done = 0; done < size;) {
          const ssize_t wrote = ::write(writeEnd_, block + done, size - done);
          if (wrote < 0 && errno == EINTR) continue;
          if (wrote <= 0) {
            open = false;
            break;
          }
          done += static_cast<size_t>(wrote);
        }
        if (open) block = blocks.next(size);
      }
    } catch (...) {
      failure_ = std::current_exception();
    }
    ::close(writeEnd_);
  }

  int readEnd_ = -1;
  int writeEnd_ = -1;
  std::exception_ptr failure_;
  std::thread worker_;
};

// Codes of one record's values, in order of first appearance. Keys of calls
// of one or two alleles are numbers; longer calls are keyed by their text.
class RecordCoder {
 public:
  void clear() {
    keys_.clear();
    longKeys_.clear();
    texts_.clear();
    missingCode_ = -1;
  }
  uint32_t missing() {
    if (missingCode_ < 0) {
      missingCode_ = static_cast<int32_t>(texts_.size());
      texts_.emplace_back(kMissingCall);
    }
    return static_cast<uint32_t>(missingCode_);
  }
  // One allele, or two in increasing order.
  uint32_t call(int32_t low, int32_t high, bool pair) {
    const uint64_t key = (pair ? uint64_t{1} << 63 : 0) | (static_cast<uint64_t>(low) << 31) |
                         static_cast<uint64_t>(high);
    for (const auto& entry : keys_) {
      if (entry.first == key) return entry.second;
    }
    const auto code = static_cast<uint32_t>(texts_.size());
    texts_.push_back(pair ? std::to_string(low) + "/" + std::to_string(high)
                          : std::to_string(high));
    keys_.emplace_back(key, code);
    return code;
  }
  // Alleles in increasing order.
  uint32_t call(const std::vector<int32_t>& alleles) {
    std::string text;
    for (size_t k = 0; k < alleles.size(); ++k) {
      text += (k == 0 ? "" : "/") + std::to_string(alleles[k]);
    }
    const auto found = longKeys_.find(text);
    if (found != longKeys_.end()) return found->second;
    const auto code = static_cast<uint32_t>(texts_.size());
    longKeys_.emplace(text, code);
    texts_.push_back(std::move(text));
    return code;
  }
  // Values apart from missing ones.
  size_t presentValues() const { return texts_.size() - (missingCode_ >= 0 ? 1 : 0); }
  std::vector<std::string> takeTexts() { return std::move(texts_); }

 private:
  std::vector<std::pair<uint64_t, uint32_t>> keys_;
  std::unordered_map<std::string, uint32_t> longKeys_;
  std::vector<std::string> texts_;
  int32_t missingCode_ = -1;
};

// Regions end here at the latest: past every real genome, and before the
// bins of an index overflow.
constexpr hts_pos_t kFarthest = hts_pos_t{1} << 44;

// A region of the file, as positions of its index.
struct Region {
  int indexId;  // the sequence's number in the index
  hts_pos_t begin;
  hts_pos_t end;  // half open, 0-based
};

class VariantReader {
 public:
  VariantReader(const VariantOptions& options, BlockReader& blocks, const char* first,
                size_t size)
      : options_(options) {
    hts_set_log_level(HTS_LOG_OFF);
    data_.format = variantFormat(first, size) == VariantFormat::Bcf ? "bcf" : "vcf";
    if (isRegularFile(options.path)) {
      file_.reset(hts_open(options.path.c_str(), "r"));
      if (!file_) fatalError("Could not open file " + options.file);
      const htsFormat* format = hts_get_format(file_.get());
      bgzf_ = format->compression == bgzf;
      if (bgzf_ && options.threads > 1) hts_set_threads(file_.get(), options.threads);
    } else {
      if (!options.regions.empty()) {
        fatalError("Option --region reads through an index: " + options.file +
                   " is not a file that can have one");
      }
      feeder_ = std::make_unique<PipeFeeder>(blocks, first, size);
      const int end = feeder_->takeReadEnd();
      hFILE* pipe = hdopen(end, "r");
      if (pipe == nullptr) {
        ::close(end);
        failRead("Could not read " + options.file);
      }
      file_.reset(hts_hopen(pipe, options.file.c_str(), "r"));
      if (!file_) {
        ::hclose_abruptly(pipe);
        failRead("Could not read " + options.file + " as VCF or BCF");
      }
    }
    header_.reset(bcf_hdr_read(file_.get()));
    if (!header_) failRead(options.file + ": the VCF header cannot be read");
    record_.reset(bcf_init());
  }

  VariantData read() {
    const int samples = bcf_hdr_nsamples(header_.get());
    data_.samples.reserve(static_cast<size_t>(samples));
    for (int s = 0; s < samples; ++s) {
      data_.samples.emplace_back(header_->samples[s]);
      const bool kept = !options_.keep || options_.keep(data_.samples.back());
      data_.kept.push_back(kept ? 1 : 0);
      if (kept) keptSamples_.push_back(s);
    }
    if (!options_.haplotypes) {
      data_.individualsOf.assign(keptSamples_.size(), 1);
      individuals_ = static_cast<int64_t>(keptSamples_.size());
    }
    if (options_.regions.empty()) {
      readAll();
    } else {
      readRegions();
    }
    if (data_.individualsOf.empty() && !keptSamples_.empty()) {
      // Haplotypes without one record of GT: a haplotype a sample.
      data_.individualsOf.assign(keptSamples_.size(), 1);
      individuals_ = static_cast<int64_t>(keptSamples_.size());
    }
    data_.missingValues += recordsBeforePloidy_ * individuals_;
    file_.reset();
    if (feeder_) feeder_->finish();
    return std::move(data_);
  }

 private:
  using Iterator = std::unique_ptr<hts_itr_t, FreeIterator>;

  // A failure while reading. A stream's own failure (a damaged gzip member)
  // explains htslib's, and is the one reported.
  [[noreturn]] void failRead(const std::string& message) {
    file_.reset();
    if (feeder_) feeder_->finish();
    fatalError(message);
  }

  std::string where() const {
    return std::string(bcf_seqname_safe(header_.get(), record_.get())) + ":" +
           std::to_string(record_->pos + 1);
  }

  void readAll() {
    for (;;) {
      const int status = bcf_read(file_.get(), header_.get(), record_.get());
      if (status == -1) break;
      if (status < -1 || (record_->errcode & kFatalErrors) != 0) failRecord();
      take();
    }
    // bgzip ends with an empty block: a file cut at a block's end lacks it.
    if (bgzf_ && bgzf_check_EOF(hts_get_bgzfp(file_.get())) == 0) {
      failRead(options_.file + " ends without the end-of-file block of bgzip: it is truncated");
    }
  }

  [[noreturn]] void failRecord() {
    std::string message = "Could not read record " + std::to_string(data_.records + 1) + " of " +
                          options_.file;
    if (data_.records > 0) message += " (the one after " + lastPlace_ + ")";
    failRead(message + ": it is damaged or cut short");
  }

  void readRegions() {
    std::unique_ptr<hts_idx_t, FreeIndex> index;
    std::unique_ptr<tbx_t, FreeTabix> tabix;
    const std::string indexHint =
        ": make one with bcftools index or tabix -p vcf (it needs a bgzip-compressed file)";
    if (data_.format == "bcf") {
      index.reset(bcf_index_load3(options_.path.c_str(), nullptr, HTS_IDX_SILENT_FAIL));
      if (!index) fatalError("Option --region: " + options_.file + " has no index (.csi)" + indexHint);
    } else {
      if (!bgzf_) {
        fatalError("Option --region: " + options_.file +
                   " is not bgzip-compressed, so it has no index" + indexHint);
      }
      tabix.reset(tbx_index_load3(options_.path.c_str(), nullptr, HTS_IDX_SILENT_FAIL));
      if (!tabix) {
        fatalError("Option --region: " + options_.file + " has no index (.tbi or .csi)" + indexHint);
      }
    }
    std::vector<Region> regions;
    for (const std::string& text : options_.regions) {
      int sequence = -1;
      hts_pos_t begin = 0;
      hts_pos_t end = 0;
      const char* rest =
          hts_parse_region(text.c_str(), &sequence, &begin, &end,
                           reinterpret_cast<hts_name2id_f>(bcf_hdr_name2id), header_.get(),
                           HTS_PARSE_THOUSANDS_SEP | HTS_PARSE_ONE_COORD);
      if (rest == nullptr || *rest != '\0') {
        fatalError("Option --region: \"" + text + "\" is no region of " + options_.file +
                   (sequence == -1 ? " (no sequence of that name in its header)"
                                   : " (CHR, CHR:POS or CHR:FROM-TO)"));
      }
      // No record lies this far, and htslib's index cannot be asked beyond it.
      end = std::min(end, kFarthest);
      if (begin >= end) continue;
      // Tabix numbers the sequences that have records, in file order.
      const int indexId =
          tabix ? tbx_name2id(tabix.get(), bcf_hdr_id2name(header_.get(), sequence)) : sequence;
      if (indexId >= 0) regions.push_back({indexId, begin, end});
    }
    std::sort(regions.begin(), regions.end(), [](const Region& a, const Region& b) {
      return a.indexId != b.indexId ? a.indexId < b.indexId : a.begin < b.begin;
    });
    // Overlapping regions are read once.
    std::vector<Region> merged;
    for (const Region& region : regions) {
      if (!merged.empty() && merged.back().indexId == region.indexId &&
          region.begin <= merged.back().end) {
        merged.back().end = std::max(merged.back().end, region.end);
      } else {
        merged.push_back(region);
      }
    }
    kstring_t line{0, 0, nullptr};
    for (const Region& region : merged) {
      Iterator iterator(tabix ? tbx_itr_queryi(tabix.get(), region.indexId, region.begin, region.end)
                              : bcf_itr_queryi(index.get(), region.indexId, region.begin,
                                               region.end));
      if (!iterator) fatalError("Option --region: the index of " + options_.file + " is damaged");
      for (;;) {
        int status = 0;
        if (tabix) {
          status = tbx_itr_next(file_.get(), tabix.get(), iterator.get(), &line);
          if (status >= 0 && vcf_parse(&line, header_.get(), record_.get()) < 0) status = -2;
        } else {
          status = bcf_itr_next(file_.get(), iterator.get(), record_.get());
        }
        if (status == -1) break;
        if (status < -1 || (record_->errcode & kFatalErrors) != 0) {
          std::free(line.s);
          failRecord();
        }
        // A record belongs to the region that holds its position: one that
        // starts before it and reaches into it is not read twice.
        if (record_->pos >= region.begin) take();
      }
    }
    std::free(line.s);
  }

  // The record just read becomes a locus, unless it cannot tell two
  // individuals apart.
  void take() {
    ++data_.records;
    if (record_->pos < 0) {
      failRead("Record " + std::to_string(data_.records) + " of " + options_.file +
               " has no position: its POS is not a number from 1 on");
    }
    lastPlace_ = where();
    if (bcf_unpack(record_.get(), BCF_UN_FMT) != 0) failRecord();
    const bcf_fmt_t* genotypes = nullptr;
    const int gt = bcf_hdr_id2int(header_.get(), BCF_DT_ID, "GT");
    for (int f = 0; gt >= 0 && f < record_->n_fmt; ++f) {
      if (record_->d.fmt[f].id == gt) genotypes = &record_->d.fmt[f];
    }
    if (genotypes == nullptr || genotypes->n <= 0) {
      // Every value missing.
      if (options_.haplotypes && data_.individualsOf.empty()) {
        ++recordsBeforePloidy_;
      } else {
        data_.missingValues += individuals_;
      }
      ++data_.singleStateSites;
      return;
    }
    // A BCF may store GT as any type; only numbers are calls.
    const int type = genotypes->type;
    if (type != BCF_BT_INT8 && type != BCF_BT_INT16 && type != BCF_BT_INT32) {
      failRead("Record " + std::to_string(data_.records) + " of " + options_.file + " (" +
               lastPlace_ + ") has a GT that is not whole numbers");
    }
    coder_.clear();
    column_ = CodeColumn();
    column_.reserve(static_cast<size_t>(individuals_));
    if (type == BCF_BT_INT8) {
      codeCalls<int8_t>(*genotypes, bcf_int8_vector_end, bcf_int8_missing);
    } else if (type == BCF_BT_INT16) {
      codeCalls<int16_t>(*genotypes, bcf_int16_vector_end, bcf_int16_missing);
    } else {
      codeCalls<int32_t>(*genotypes, bcf_int32_vector_end, bcf_int32_missing);
    }
    if (coder_.presentValues() < 2) {
      ++data_.singleStateSites;
      return;
    }
    VariantSite site;
    site.name = lastPlace_;
    site.texts = coder_.takeTexts();
    site.codes = std::move(column_);
    data_.variable.push_back(std::move(site));
  }

  // With haplotypes, a sample's haplotypes are the alleles of its call in the
  // first record that has GT. A call missing altogether tells nothing (a
  // diploid sample's may be written '.'): it counts as the record's longest.
  template <typename T>
  void learnPloidy(const bcf_fmt_t& genotypes, T vectorEnd, T missingValue) {
    data_.individualsOf.clear();
    ploidyOfMissing_.clear();
    individuals_ = 0;
    for (const int sample : keptSamples_) {
      readAlleles<T>(genotypes.p + static_cast<size_t>(sample) * genotypes.size, genotypes.n,
                     vectorEnd, missingValue);
      bool allMissing = true;
      for (const int32_t value : alleles_) allMissing = allMissing && (value >> 1) == 0;
      const auto ploidy = allMissing ? genotypes.n : static_cast<int32_t>(alleles_.size());
      ploidyOfMissing_.push_back(allMissing ? 1 : 0);
      data_.individualsOf.push_back(ploidy);
      individuals_ += ploidy;
    }
    uniformPloidy_ = data_.individualsOf.empty() ? 0 : data_.individualsOf[0];
    for (const int32_t ploidy : data_.individualsOf) {
      if (ploidy != uniformPloidy_) uniformPloidy_ = 0;
    }
  }

  // The alleles of the call at `at` into alleles_, each as (allele + 1) * 2
  // + phased; 0 or 1 when missing.
  template <typename T>
  void readAlleles(const uint8_t* at, int width, T vectorEnd, T missingValue) {
    alleles_.clear();
    for (int a = 0; a < width; ++a) {
      T v;
      std::memcpy(&v, at + sizeof(T) * static_cast<size_t>(a), sizeof(T));
      if (v == vectorEnd) break;
      alleles_.push_back(v == missingValue || v < 0 ? 0 : static_cast<int32_t>(v));
    }
  }

  template <typename T>
  void codeCalls(const bcf_fmt_t& genotypes, T vectorEnd, T missingValue) {
    if (options_.haplotypes && data_.individualsOf.empty()) {
      learnPloidy(genotypes, vectorEnd, missingValue);
      column_.reserve(static_cast<size_t>(individuals_));
    }
    const int width = genotypes.n;
    int64_t missing = 0;
    uint32_t codes[kMostCachedAlleles];
    // Calls of one byte an allele and at most two alleles are few in a
    // record: each raw call is decoded once and its codes kept.
    if constexpr (sizeof(T) == 1) {
      if (width <= kMostCachedAlleles && (!options_.haplotypes || uniformPloidy_ == width)) {
        ++stamp_;
        if (stamp_ == 0) {
          std::fill(cacheStamp_.begin(), cacheStamp_.end(), 0);
          stamp_ = 1;
        }
        const int per = options_.haplotypes ? width : 1;
        for (size_t k = 0; k < keptSamples_.size(); ++k) {
          const uint8_t* at = genotypes.p + static_cast<size_t>(keptSamples_[k]) * genotypes.size;
          const uint32_t key = width == 1 ? at[0] : uint32_t{at[0]} | uint32_t{at[1]} << 8;
          if (cacheStamp_[key] != stamp_) {
            cacheStamp_[key] = stamp_;
            CachedCall& entry = cache_[key];
            entry.missing = static_cast<uint8_t>(
                decode<T>(at, width, vectorEnd, missingValue, k, entry.codes));
          }
          const CachedCall& entry = cache_[key];
          for (int h = 0; h < per; ++h) column_.push(entry.codes[h]);
          missing += entry.missing;
        }
        data_.missingValues += missing;
        return;
      }
    }
    std::vector<uint32_t> many;
    for (size_t k = 0; k < keptSamples_.size(); ++k) {
      const uint8_t* at = genotypes.p + static_cast<size_t>(keptSamples_[k]) * genotypes.size;
      const int per = options_.haplotypes ? data_.individualsOf[k] : 1;
      uint32_t* out = codes;
      if (per > kMostCachedAlleles) {
        many.resize(static_cast<size_t>(per));
        out = many.data();
      }
      missing += decode<T>(at, width, vectorEnd, missingValue, k, out);
      for (int h = 0; h < per; ++h) column_.push(out[h]);
    }
    data_.missingValues += missing;
  }

  // The codes of one call of kept sample k (one, or one per haplotype) into
  // out; returns how many of them are missing.
  template <typename T>
  int32_t decode(const uint8_t* at, int width, T vectorEnd, T missingValue, size_t k,
                 uint32_t* out) {
    readAlleles<T>(at, width, vectorEnd, missingValue);
    if (options_.haplotypes) return codeHaplotypes(alleles_, k, out);
    return codeGenotype(alleles_, out);
  }

  // One value: the call's alleles as a set (with their counts).
  int32_t codeGenotype(std::vector<int32_t>& alleles, uint32_t* out) {
    bool anyMissing = alleles.empty();
    for (int32_t& value : alleles) {
      anyMissing = anyMissing || (value >> 1) == 0;
      value = (value >> 1) - 1;
    }
    if (anyMissing) {
      out[0] = coder_.missing();
      return 1;
    }
    if (alleles.size() == 1) {
      out[0] = coder_.call(0, alleles[0], false);
    } else if (alleles.size() == 2) {
      out[0] = coder_.call(std::min(alleles[0], alleles[1]), std::max(alleles[0], alleles[1]),
                           true);
    } else {
      std::sort(alleles.begin(), alleles.end());
      out[0] = coder_.call(alleles);
    }
    return 0;
  }

  // A value per haplotype of the sample: each allele of a phased call, or of
  // one whose alleles are all the same; missing for each of an unphased
  // call of different alleles.
  int32_t codeHaplotypes(const std::vector<int32_t>& alleles, size_t keptSample, uint32_t* out) {
    const int32_t ploidy = data_.individualsOf[keptSample];
    bool allMissing = true;
    bool phased = true;
    bool same = true;
    for (size_t a = 0; a < alleles.size(); ++a) {
      allMissing = allMissing && (alleles[a] >> 1) == 0;
      if (a > 0) {
        phased = phased && (alleles[a] & 1) != 0;
        same = same && (alleles[a] >> 1) == (alleles[0] >> 1);
      }
    }
    const bool fits = static_cast<int32_t>(alleles.size()) == ploidy;
    if (!allMissing && !fits) wrongPloidy(alleles, keptSample);
    if (allMissing || !(phased || same)) {
      for (int32_t h = 0; h < ploidy; ++h) out[h] = coder_.missing();
      return ploidy;
    }
    int32_t missing = 0;
    for (int32_t h = 0; h < ploidy; ++h) {
      const int32_t value = alleles[static_cast<size_t>(h)];
      if ((value >> 1) == 0) {
        out[h] = coder_.missing();
        ++missing;
      } else {
        out[h] = coder_.call(0, (value >> 1) - 1, false);
      }
    }
    return missing;
  }

  [[noreturn]] void wrongPloidy(const std::vector<int32_t>& alleles, size_t keptSample) {
    const std::string& name = data_.samples[static_cast<size_t>(keptSamples_[keptSample])];
    const auto count = [](size_t n) {
      return std::to_string(n) + (n == 1 ? " allele" : " alleles");
    };
    failRead("Sample \"" + name + "\" has " + count(alleles.size()) + " at " + lastPlace_ +
             " of " + options_.file + " but " +
             count(static_cast<size_t>(data_.individualsOf[keptSample])) + " in the first record" +
             (ploidyOfMissing_[keptSample] != 0 ? " (a missing call, counted as its longest)"
                                                 : "") +
             ": with --haplotypes a sample keeps its number of haplotypes");
  }

  // Record errors that leave the record unread; undeclared contigs and tags
  // are declared by htslib and read.
  static constexpr int kFatalErrors = BCF_ERR_NCOLS | BCF_ERR_LIMITS | BCF_ERR_CHAR |
                                      BCF_ERR_CTG_INVALID | BCF_ERR_TAG_INVALID;

  const VariantOptions& options_;
  VariantData data_;
  // Declared before the file, so that the file (the pipe's reading end) is
  // closed first and the feeding thread can end.
  std::unique_ptr<PipeFeeder> feeder_;
  std::unique_ptr<htsFile, CloseFile> file_;
  std::unique_ptr<bcf_hdr_t, FreeHeader> header_;
  std::unique_ptr<bcf1_t, FreeRecord> record_;
  bool bgzf_ = false;
  std::vector<int> keptSamples_;
  int64_t individuals_ = 0;
  int64_t recordsBeforePloidy_ = 0;
  std::string lastPlace_;
  RecordCoder coder_;
  CodeColumn column_;
  std::vector<int32_t> alleles_;
  // The raw calls of one byte an allele decoded in this record: those whose
  // stamp is stamp_. With haplotypes only while every sample has the same
  // number, uniformPloidy_ (else 0).
  static constexpr int kMostCachedAlleles = 2;
  struct CachedCall {
    uint32_t codes[kMostCachedAlleles];
    uint8_t missing;
  };
  std::vector<CachedCall> cache_ = std::vector<CachedCall>(1 << 16);
  std::vector<uint32_t> cacheStamp_ = std::vector<uint32_t>(1 << 16, 0);
  uint32_t stamp_ = 0;
  int32_t uniformPloidy_ = 0;
  // 1: the kept sample's call in the first record was missing altogether.
  std::vector<uint8_t> ploidyOfMissing_;
};

}  // namespace

VariantFormat variantFormat(const char* first, size_t size) {
  static const char kVcf[] = "##fileformat=VCF";
  static const char kBcf[] = "BCF\2";
  if (size >= sizeof kVcf - 1 && std::memcmp(first, kVcf, sizeof kVcf - 1) == 0) {
    return VariantFormat::Vcf;
  }
  if (size >= sizeof kBcf - 1 && std::memcmp(first, kBcf, sizeof kBcf - 1) == 0) {
    return VariantFormat::Bcf;
  }
  return VariantFormat::None;
}

VariantData readVariants(const VariantOptions& options, BlockReader& blocks, const char* first,
                         size_t size) {
  VariantReader reader(options, blocks, first, size);
  return reader.read();
}

}  // namespace tevrol
