#pragma once
// The MPEG Layer-3 codec as the conversion stage uses it: drivers that offer formats, and
// streams that turn 16-bit PCM of one format into MP3 of another, with the contracts of an
// audio compression manager (result codes, size questions, prepared headers, partial frames
// kept between calls). The LAME adapter in platform/ implements it; tests use fakes.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace brovana {

// Result codes; 0 is success.
inline constexpr int MMSYSERR_NOERROR = 0;
inline constexpr int MMSYSERR_ERROR = 1;
inline constexpr int MMSYSERR_INVALHANDLE = 5;
inline constexpr int MMSYSERR_NOMEM = 7;
inline constexpr int MMSYSERR_INVALFLAG = 10;
inline constexpr int MMSYSERR_INVALPARAM = 11;
inline constexpr int ACMERR_NOTPOSSIBLE = 512;
inline constexpr int ACMERR_BUSY = 513;
inline constexpr int ACMERR_UNPREPARED = 514;

// "MMSYSERR_INVALHANDLE" and friends, for log lines; the number for unknown codes.
std::string codecErrorText(int code);

inline constexpr uint16_t WAVE_FORMAT_PCM = 1;
inline constexpr uint16_t WAVE_FORMAT_MPEGLAYER3 = 85;

// The wave format records keep the published byte layout: a format travels as its 18-byte
// record followed by cbSize bytes that belong to its format tag.
#pragma pack(push, 2)
struct WAVEFORMATEX {
  uint16_t wFormatTag = 0;
  uint16_t nChannels = 0;
  uint32_t nSamplesPerSec = 0;
  uint32_t nAvgBytesPerSec = 0;
  uint16_t nBlockAlign = 0;
  uint16_t wBitsPerSample = 0;
  uint16_t cbSize = 0;
};

struct MPEGLAYER3WAVEFORMAT {
  WAVEFORMATEX wfx;
  uint16_t wID = 0;
  uint32_t fdwFlags = 0;
  uint16_t nBlockSize = 0;
  uint16_t nFramesPerBlock = 0;
  uint16_t nCodecDelay = 0;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(sizeof(MPEGLAYER3WAVEFORMAT) == 30);

inline constexpr uint16_t MPEGLAYER3_WFX_EXTRA_BYTES = 12;
inline constexpr uint16_t MPEGLAYER3_ID_MPEG = 1;
inline constexpr uint32_t MPEGLAYER3_FLAG_PADDING_ISO = 0;

// One format: the record and its extra bytes (always cbSize of them).
struct WaveFormat {
  WAVEFORMATEX wfx;
  std::vector<uint8_t> extra;

  // cbSize + 18 bytes, as the record is laid out.
  std::vector<uint8_t> bytes() const;
  // The Layer-3 fields, for a tag-85 format with at least 12 extra bytes.
  std::optional<MPEGLAYER3WAVEFORMAT> mpegLayer3() const;
  static WaveFormat fromMpegLayer3(const MPEGLAYER3WAVEFORMAT& format);
};

// The conversion header. Buffers belong to the caller; sizes are in bytes.
inline constexpr uint32_t ACMSTREAMHEADER_STATUSF_DONE = 0x00010000;
inline constexpr uint32_t ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;
inline constexpr uint32_t kAcmStreamHeaderSize = 84;  // cbStruct, as the header was laid out

struct ACMSTREAMHEADER {
  uint32_t cbStruct = 0;
  uint32_t fdwStatus = 0;
  uintptr_t dwUser = 0;
  uint8_t* pbSrc = nullptr;
  uint32_t cbSrcLength = 0;
  uint32_t cbSrcLengthUsed = 0;
  uintptr_t dwSrcUser = 0;
  uint8_t* pbDst = nullptr;
  uint32_t cbDstLength = 0;
  uint32_t cbDstLengthUsed = 0;
  uintptr_t dwDstUser = 0;
};

// Conversion flag: the end of the input; the codec hands out what it still holds (its last
// partial frame, padded) and stays usable.
inline constexpr uint32_t ACM_STREAMCONVERTF_END = 0x00000020;

enum class StreamSize {
  Source = 0,       // ACM_STREAMSIZEF_SOURCE: destination bytes for a source amount
  Destination = 1,  // ACM_STREAMSIZEF_DESTINATION: source bytes for a destination amount
};

using DriverId = uintptr_t;

// An open driver (closed by close() or with the object).
class CodecDriver {
 public:
  virtual ~CodecDriver() = default;
  // The largest format record the driver uses, in bytes.
  virtual int maxFormatSize() = 0;
  // Every format the driver offers, in its order; `each` returns false to stop.
  virtual int enumFormats(const std::function<bool(const WaveFormat&)>& each) = 0;
  virtual int close() = 0;
};

// An open conversion from a PCM format to an MP3 format. Used by one thread at a time.
class CodecStream {
 public:
  virtual ~CodecStream() = default;
  virtual int size(uint32_t input, StreamSize which, uint32_t& output) = 0;
  // Preparation is for the header's buffer sizes; unprepare wants the same source length.
  virtual int prepareHeader(ACMSTREAMHEADER& header) = 0;
  virtual int unprepareHeader(ACMSTREAMHEADER& header) = 0;
  // Consumes up to cbSrcLength bytes (cbSrcLengthUsed), writes cbDstLengthUsed MP3 bytes.
  // Samples that do not fill a frame stay inside the codec for the next call, unless `flags`
  // has ACM_STREAMCONVERTF_END. ACMERR_UNPREPARED when the header is not prepared (any more).
  virtual int convert(ACMSTREAMHEADER& header, uint32_t flags) = 0;
  virtual int close() = 0;
};

class Mp3Codec {
 public:
  virtual ~Mp3Codec() = default;
  // The installed drivers, in enumeration order.
  virtual std::vector<DriverId> enumDrivers() = 0;
  virtual int openDriver(DriverId id, std::unique_ptr<CodecDriver>& driver) = 0;
  // Any driver that can: PCM of `source` to `destination`, converting rate and channels where
  // it can; ACMERR_NOTPOSSIBLE where it cannot.
  virtual int openStream(const WaveFormat& source, const WaveFormat& destination,
                         std::unique_ptr<CodecStream>& stream) = 0;
};

}  // namespace brovana
