#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "velmoria_filter/PacketDecoder.hpp"
#include "velmoria_filter/WebFilterProvider.hpp"

namespace velmoria::filter {

// A flow of a capture and what the provider made of it.
struct ReplayedFlow {
  int protocol = protocolTcp;
  IpAddress destination;
  std::uint16_t destinationPort = 0;
  DataVerdict verdict = DataVerdict::allow;
  bool inspected = false;                 // the provider asked for and got the first outbound bytes
  std::optional<std::string> serverName;  // as read from those bytes
};

struct ReplayResult {
  std::vector<ReplayedFlow> flows;       // in the order their first packet appears
  std::optional<std::string> readError;  // the capture ended early; the flows up to there are kept
};

class CaptureError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Plays the flows of a packet capture through the provider as the system would: each outbound TCP
// flow (one seen opening with a SYN, or one to port 443 whose start is missing) and each UDP flow to
// port 443 gets the new-flow verdict; flows that ask to be peeked at are judged on their first
// outbound bytes, put back in order, up to the peek size. Throws CaptureError when the file is not
// a capture at all.
ReplayResult replayCapture(const std::filesystem::path& capture, const WebFilterProvider& provider);
// The same over an open stream; the stream is closed.
ReplayResult replayCapture(std::FILE* capture, const WebFilterProvider& provider);

// "drop tcp 93.184.216.34:443 example.com": verdict, destination, server name ("-" when none was
// read). Bytes outside printable ASCII in the name are written as \xNN.
std::string formatReplayLine(const ReplayedFlow& flow);

}  // namespace velmoria::filter
