#include "check/seen_mail.h"

// FNV-1a: fast, and spreads the ids' shared prefixes well; two of a
// mailbox's ids sharing a hash is as likely as 1 in 10^9 at 100,000 ids.
uint64_t SeenHash(const std::string& text) {
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

uint64_t AccountHash(const std::string& server, const std::string& user) {
  return SeenHash(server + '\n' + user);
}
