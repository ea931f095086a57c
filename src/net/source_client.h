#pragma once
// An extra server's side of a stream (or a recording's, which takes the same bytes): where it
// is, how to log in, and the client that delivers one stream to it. src/platform/ has the one on
// libshout and the file writer; the tests use the real ones against a real Icecast.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace brovana {

enum class ServerProtocol { Icecast, Shoutcast, File };

struct ServerAddress {
  ServerProtocol protocol = ServerProtocol::Icecast;
  bool tls = false;
  bool tlsInsecure = false;  // a certificate that does not verify is taken
  std::string host;
  int port = 0;
  std::string mount;  // Icecast: "/name"; File: the path
  std::string user = "source";
  std::string password;
  std::string name;  // the stream's name for listeners; empty: none
};

// What the server is told about the stream.
struct StreamFacts {
  bool ogg = false;  // Ogg pages (Opus, Vorbis), else MP3 frames
  int bitrate = 0;   // bits per second
  int sampleRate = 0;
  int channels = 0;
};

// One stream to one server, used by one thread at a time.
class SourceClient {
 public:
  virtual ~SourceClient() = default;
  // Connects and logs in, giving up when `cancel` is set; empty when the stream may go, else
  // why not (for the log).
  virtual std::string open(const std::atomic<bool>& cancel) = 0;
  // Hands the bytes over without waiting for the peer; false when the link failed.
  virtual bool send(std::span<const uint8_t> bytes) = 0;
  // Bytes handed over that the peer has not taken yet.
  virtual size_t backlog() = 0;
  // The now-playing title, out of band (MP3 streams); true when the server took it.
  virtual bool setTitle(const std::string& title) = 0;
  virtual void close() = 0;
  // The reason of the last failure.
  virtual std::string error() = 0;
};

using SourceClientMaker =
    std::function<std::unique_ptr<SourceClient>(const ServerAddress&, const StreamFacts&)>;

}  // namespace brovana
