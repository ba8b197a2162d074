// English glosses of the component's replies, for the demo: the replies
// themselves stay exactly as the component gives them (their texts are the
// catalogue's Chinese texts), and the gloss is printed apart from them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "messages/message_text_map.h"

namespace quillor {

// Each function takes the message texts of the release whose replies it reads
// (ReleaseProfile::message_texts), so that a release library holds no other
// release's texts.

// The English for a message text of the component: each catalogue text it holds
// is put into English, and the data joined to a text (a code, a value) is kept.
// A text with no catalogue text in it is returned as it is.
std::string GlossMessage(std::string_view message, const MessageTextMap& texts);

// One line per item result of an ADD reply ("# item 6: 101, refused: D09: the
// department is not a base costing department"), one line for an error reply,
// one line with the row count of a QUERY reply. Lines start with "# ".
std::vector<std::string> GlossReply(std::string_view reply, const MessageTextMap& texts);

// The line of one item result ("# item 6: 101, refused: ..."), and of a reply
// that answered no line ("# reply 3: ..."), from their values.
std::string GlossItem(std::string_view id, std::string_view code, std::string_view message,
                      const MessageTextMap& texts);
std::string GlossUnanswered(std::string_view code, std::string_view message,
                            const MessageTextMap& texts);


}  // namespace quillor
