// The functions of include/quillor/quillor.h that a command or an installer asks
// beside the calls: the host database made ready, the release's identity and
// its registration. Compiled once per deliverable, with QUILLOR_RELEASE_FUNCTION
// naming that release's profile, as the calls are.
#include <cstdlib>
#include <string>
#include <vector>

#include "component/deliverable/guarded_call.h"
#include "component/deliverable/registry_problem.h"
#include "component/registration.h"
#include "platform/com/registry.h"
#include "profiles/release_profile.h"
#include "quillor/quillor.h"
#include "schema/host_database.h"

#ifndef QUILLOR_RELEASE_FUNCTION
#error "QUILLOR_RELEASE_FUNCTION must name the release profile of this deliverable"
#endif

// The COM entry points of exports.cpp, which registration goes through.
extern "C" quillor::com::HRESULT DllRegisterServer();
extern "C" quillor::com::HRESULT DllUnregisterServer();

namespace {

using quillor::deliverable::AnswerText;
using quillor::deliverable::ClearOut;

const quillor::ReleaseProfile& Profile() { return quillor::QUILLOR_RELEASE_FUNCTION(); }

}  // namespace

extern "C" {

int32_t quillor_init_database(const char* connection, size_t connection_length, int32_t sample,
                              char** report, size_t* report_length) {
  ClearOut(report, report_length);
  if (!connection && connection_length) return quillor::com::E_POINTER;
  // The steps done before a failure are reported before its words.
  std::vector<std::string> done;
  const auto lines = [&done] {
    std::string text;
    for (const std::string& line : done) text += line + "\n";
    return text;
  };
  char* words = nullptr;
  size_t words_length = 0;
  const int32_t status =
      AnswerText(&words, &words_length, "the host database could not be made ready", [&] {
        quillor::PrepareHostDatabase(std::string(connection ? connection : "", connection_length),
                                     sample != 0, done);
        return std::string();
      });
  std::string text = lines();
  if (status < 0 && words) text.append(words, words_length);
  std::free(words);
  quillor::deliverable::HandOut(text, report, report_length);
  return status;
}

int32_t quillor_identity(quillor_identity_t* identity) {
  if (!identity) return quillor::com::E_POINTER;
  try {
    static const std::string release(Profile().release);
    static const std::string class_id = Profile().ids.clsid.ToString();
    *identity = {release.c_str(), class_id.c_str(), Profile().caller_registration ? 1 : 0,
                 Profile().row_write_deletes ? 1 : 0, Profile().ids.class_shared ? 1 : 0};
    return quillor::com::S_OK;
  } catch (const std::bad_alloc&) {
    return quillor::com::E_OUTOFMEMORY;
  } catch (...) {
    return quillor::com::E_FAIL;
  }
}

int32_t quillor_registry_file(char** path, size_t* path_length) {
  ClearOut(path, path_length);
  return AnswerText(path, path_length, "no place for the registry file",
                    [] { return quillor::com::Registry::DefaultPath(); });
}

int32_t quillor_registered_library(const char* registry_file, size_t registry_file_length,
                                   char** path, size_t* path_length) {
  ClearOut(path, path_length);
  if (!registry_file && registry_file_length) return quillor::com::E_POINTER;
  return AnswerText(path, path_length, "the registry file cannot be read", [&] {
    const std::string named(registry_file ? registry_file : "", registry_file_length);
    const auto registry =
        quillor::com::Registry::Load(named.empty() ? quillor::com::Registry::DefaultPath() : named);
    return registry.GetValue(quillor::ClassKey(Profile()) + "\\InprocServer32").value_or("");
  });
}

int32_t quillor_registry_problem(char** words, size_t* words_length) {
  ClearOut(words, words_length);
  return AnswerText(words, words_length, "the registry file cannot be checked", [] {
    return quillor::deliverable::RegistryProblem(quillor::com::Registry::DefaultPath());
  });
}

int32_t quillor_register(int32_t unregister) {
  return unregister ? DllUnregisterServer() : DllRegisterServer();
}

}  // extern "C"
