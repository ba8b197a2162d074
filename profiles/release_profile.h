// What distinguishes one release of the component from another: its identifiers
// (type library, class, interfaces, methods and the outside components it talks
// to) and the switches between release behaviours. The core code reads the
// profile it was given; nothing else in the tree knows which release it is.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "messages/message_text_map.h"
#include "platform/com/guid.h"

namespace quillor {

struct MethodId {
  std::string_view name;
  int32_t dispid;
};

struct ReleaseIdentity {
  com::Guid libid;
  uint16_t typelib_major;
  uint16_t typelib_minor;
  com::Guid clsid;
  // The default interface first; further IIDs are registered for the same interface.
  std::vector<com::Guid> interface_iids;
  std::vector<std::string_view> interface_names;
  std::vector<MethodId> methods;
  // The outside components of this release.
  com::Guid eai_helper_clsid;
  com::Guid eai_helper_iid;
  struct Catalogue {
    com::Guid clsid;
    com::Guid iid;
  };
  std::optional<Catalogue> message_catalogue;  // none where the release carries fixed texts
  com::Guid login_iid;
  // Another release registers the same class (8.61 and 8.50), so the library its
  // registration names may be the other's. Known here, so that a library need
  // not hold the other releases' profiles to say it.
  bool class_shared = false;
  com::Guid record_mapper_clsid;
  com::Guid record_mapper_iid;
};

// An identity with its registered class filled in: the type library and its
// version, the class, and the interface IDs (the default interface's first).
ReleaseIdentity ClassIdentity(std::string_view libid, uint16_t typelib_major,
                              uint16_t typelib_minor, std::string_view clsid,
                              const std::vector<std::string_view>& interface_iids);

struct ReleaseProfile {
  std::string_view release;  // "8.71"
  ReleaseIdentity ids;

  // Request handling.
  bool caller_registration;  // AddObjectReference / DropObjectReference exist
  // The catalogue's texts where the release has a catalogue, else its fixed texts.
  const MessageTextMap& (*message_texts)();
  bool reads_options;  // the cost-accounting options are read on every call

  // Material entry.
  bool cost_object_resolution;   // the product resolves to a cost object
  bool ompflag_row;              // production-order mode 2 adds ompflag
  bool product_structure_check;  // the product is checked against ProductStructureEx
  bool closed_period_check;      // the period is checked against gl_mend
  bool row_write_deletes;        // an earlier row with the same key is replaced
  bool writes_irdcode;           // the irdcode column is written
  std::string_view costing_method_sql;

  // Material query.
  bool paging;
  std::vector<std::string_view> check_statement_pieces;  // joined with CR LF
  std::vector<std::string> query_statement_pieces;       // joined with CR LF
  // Between the query statement and the condition: CR LF, or nothing.
  std::string_view query_condition_separator;

  // Texts from the catalogue (created at the first lookup); otherwise the fixed texts.
  bool has_message_catalogue() const { return ids.message_catalogue.has_value(); }
};

const ReleaseProfile& Release871();
const ReleaseProfile& Release861();
const ReleaseProfile& Release850();

// The profile of a release named "8.71", "8.61" or "8.50"; nullptr for any other.
const ReleaseProfile* FindRelease(std::string_view release);
// Every release, the latest first: the one list of releases, which the build's
// list of libraries (QUILLOR_RELEASES) must equal and the command offers.
const std::vector<const ReleaseProfile*>& AllReleases();
// Their names, in the same order.
std::vector<std::string> ReleaseNames();

// Pieces joined with CR LF between consecutive pieces.
std::string JoinPieces(const std::vector<std::string_view>& pieces);
std::string JoinPieces(const std::vector<std::string>& pieces);

}  // namespace quillor
