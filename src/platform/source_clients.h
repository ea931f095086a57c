#pragma once
// The SourceClient of each protocol: Icecast (HTTP PUT, optionally over TLS) and SHOUTcast v1
// through libshout, and the file a recording writes.

#include <memory>

#include "net/source_client.h"

namespace brovana {

std::unique_ptr<SourceClient> makeSourceClient(const ServerAddress& address, const StreamFacts& facts);

}  // namespace brovana
