// The largest request a call accepts, read from the connection text or the
// environment: the component refuses a larger one, and the command and the
// server say by how much, since the reply keeps the catalogue's text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/db/connection_text.h"

namespace quillor {

// The connection text's key for the bound; it never reaches the database.
inline constexpr std::string_view kMaxRequestSizeKey = "Max Request Size";

// A request parses into a tree several times its size, so the bound keeps one
// request from taking the host process's memory.
inline constexpr uint64_t kDefaultMaxRequestBytes = uint64_t{256} << 20;

// "Max Request Size" in the connection text, else $QUILLOR_MAX_REQUEST_SIZE, else
// 256 MiB. A value that is not a whole number of bytes above 0 is a failure.
uint64_t MaxRequestBytes(const ConnectionText& connection_text);

// What an operator reads beside the refusal: the request's size, the bound and
// where it came from.
std::string OversizedRequestNote(uint64_t request_bytes, const ConnectionText& connection_text);

// The same for a request read from a stream that was read no further than the
// bound allows, whose length is therefore not known.
std::string OversizedStreamNote(std::string_view source, const ConnectionText& connection_text);

}  // namespace quillor
