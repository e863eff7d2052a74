#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// What the last successful check of an account found on the server. Each
// message id is kept as a 64-bit hash: a fixed size whatever the id's length,
// so the record for 100,000 messages stays under 2 MB.
struct SeenMail {
  // False when nothing is known of the account: its first check.
  bool known = false;
  // The server text and user name the record is for.
  uint64_t account = 0;
  // The STAT count, for servers without UIDL.
  int count = 0;
  // How many messages the count's growth announced while no listing could be
  // read: at the next listing, the newest this many ids not seen before were
  // told already.
  int toldByCount = 0;
  // The hashes of the ids on the server, sorted.
  std::vector<uint64_t> ids;
  // IMAP: the mailbox's UIDVALIDITY and the highest UID it held. With
  // uidValidity 0 (which no server sends) the record is a POP3 one.
  uint32_t uidValidity = 0;
  uint32_t lastUid = 0;
};

class CharsetDecoder;

// What a check needs to tell new mail from old and to read its headers.
struct NewMailBasis {
  SeenMail seen;
  std::shared_ptr<const CharsetDecoder> charsets;
};

// At most this many new messages have their headers read: the lines one
// notification shows.
constexpr size_t kMaxSummaries = 3;

// The hash that stands for an account or a message id.
uint64_t SeenHash(const std::string& text);
uint64_t AccountHash(const std::string& server, const std::string& user);
