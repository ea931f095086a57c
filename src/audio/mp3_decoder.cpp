#include "audio/mp3_decoder.h"

namespace brovana {

const char* toString(DecodeStatus status) {
  switch (status) {
    case DecodeStatus::Block:
      return "block";
    case DecodeStatus::LastBlock:
      return "last block";
    case DecodeStatus::Timeout:
      return "timeout";
    case DecodeStatus::InvalidFrame:
      return "invalid frame";
    case DecodeStatus::Error:
      return "error";
  }
  return "unknown";
}

}  // namespace brovana
