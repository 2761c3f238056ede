#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tevrol {

// Which locus texts are missing values. A missing value differs from no other
// value: two individuals are compared only at the loci where both have one.
struct MissingRule {
  enum class Kind {
    None,    // every text is a value (a table without --missing)
    Listed,  // the texts listed are missing
    AllBut,  // every text but those listed is missing (A, C, G, T in an alignment)
  };
  Kind kind = Kind::None;
  std::vector<std::string> texts;

  bool any() const { return kind != Kind::None; }
  bool isMissing(std::string_view text) const {
    if (kind == Kind::None) return false;
    bool listed = false;
    for (const std::string& t : texts) listed = listed || t == text;
    return kind == Kind::Listed ? listed : !listed;
  }
};

}  // namespace tevrol
