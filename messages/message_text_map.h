// The texts behind the message IDs, as each release's catalogue (or, for release
// 8.50, its fixed texts) carries them.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace quillor {

using MessageTextMap = std::map<std::string, std::string, std::less<>>;

// The catalogue of release 8.71.
const MessageTextMap& CatalogueTexts871();
// The catalogue of release 8.61: 8.71's with 00015 and without the ompflag label.
const MessageTextMap& CatalogueTexts861();
// The fixed texts of release 8.50, keyed by the IDs later releases use for them.
const MessageTextMap& FixedTexts850();

}  // namespace quillor
