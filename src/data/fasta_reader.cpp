#include "data/fasta_reader.h"
namespace tevrol {
class FastaParser::State {};
FastaParser::FastaParser(FastaOptions) {}
FastaParser::~FastaParser() = default;
void FastaParser::feed(const char*, size_t) {}
FastaAlignment FastaParser::finish() { return {}; }
}  // namespace tevrol
