#include "audio/mp3_decoder.h"

namespace brovana {

const char* toString(DecodeStatus status) {
  switch (status) {
    case DecodeStatus::Block:
      return "XA_SUCCESS";
    case DecodeStatus::LastBlock:
      return "XA_LAST_BLOCK";
    case DecodeStatus::Timeout:
      return "XA_ERROR_TIMEOUT";
    case DecodeStatus::InvalidFrame:
      return "XA_ERROR_INVALID_FRAME";
    case DecodeStatus::Error:
      return "XA_ERROR";
  }
  return "XA_UNKNOWN";
}

}  // namespace brovana
