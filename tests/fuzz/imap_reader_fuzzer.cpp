// libFuzzer target: one input is the server's side of an IMAP session, all of
// it readable from the start. It is read response by response as the check
// reads it, within the reader's bounds, and then a whole check is run
// against it. Nothing may crash or hang, and nothing read may exceed a bound.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "check/imap/imap_reader.h"
#include "check/imap/imap_session.h"
#include "tests/double/memory_transport.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

void ReadAll(const std::string& input) {
  MemoryServer server;
  server.Reply(0, input);
  const std::unique_ptr<Transport> transport = server.NewSession();
  ImapReader reader(*transport, nullptr);
  const ImapReader::NumberSink sink = [](uint32_t uid) { Require(uid != 0); };
  ImapResponse response;
  for (size_t responses = 0; reader.Read(response, Deadline(1000), &sink); ++responses) {
    Require(responses < input.size());
    Require(!response.name.empty() || response.kind == ImapResponseKind::kContinuation);
    for (const ImapToken& token : response.data)
      Require(token.type != ImapToken::Type::kString ||
              token.text.size() <= ImapReader::kMaxLiteral);
  }
}

void Check(const std::string& input) {
  MemoryServer server;
  server.Reply(0, input);
  const std::unique_ptr<Transport> transport = server.NewSession();
  NewMailBasis basis;
  basis.seen.known = input.size() % 2 == 0;
  basis.seen.uidValidity = 1;
  basis.seen.lastUid = 2;
  const CheckOutcome outcome =
      RunImapCheck(*transport, {"imap://imap.example.com", "mixed", "secret"}, 1000, basis);
  Require(outcome.kind != OutcomeKind::kMailboxCount ||
          (outcome.count >= 0 && outcome.newCount >= 0 && outcome.newest.size() <= 3 &&
           outcome.seen.known && server.keepAlive == "60/10"));
  for (const std::string& line : server.transcript)
    Require(line.find("secret") == std::string::npos || line.find(" LOGIN ") != std::string::npos);
  Require(server.socketsOpened == server.socketsClosed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  ReadAll(input);
  Check(input);
  return 0;
}
