// The frame of a function of the C interface that answers a text: no exception
// leaves it, and a failure is a negative status with the failure's words.
#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <string>

#include "component/deliverable/text_out.h"
#include "platform/base/failure.h"
#include "platform/base/hresult.h"

namespace quillor::deliverable {

// Runs body, which returns the text to hand out on success; a failure hands out
// its description instead (`unknown` for one that has none) and answers E_FAIL
// (E_OUTOFMEMORY when memory ran out).
template <class Body>
int32_t AnswerText(char** out, size_t* length, const char* unknown, Body body) {
  std::string words;
  try {
    HandOut(body(), out, length);
    return com::S_OK;
  } catch (const std::bad_alloc&) {
    return com::E_OUTOFMEMORY;
  } catch (const Failure& f) {
    words = f.description();
  } catch (const std::exception& e) {
    words = e.what();
  } catch (...) {
    words = unknown;
  }
  HandOut(words, out, length);
  return com::E_FAIL;
}

}  // namespace quillor::deliverable
