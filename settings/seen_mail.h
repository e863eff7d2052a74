#pragma once

#include <cstdint>
#include <string>
#include <vector>

class Platform;

// What the last successful check of an account found on the server, kept
// in a file of its own beside the settings. Each message id is kept as a
// 64-bit hash: a fixed size whatever the id's length, so the file for
// 100,000 messages stays under 2 MB.
struct SeenMail {
  // False when nothing is known of the account: its first check.
  bool known = false;
  // The server text and user name the record is for.
  uint64_t account = 0;
  // The STAT count, for servers without UIDL.
  int count = 0;
  // The hashes of the ids on the server, sorted.
  std::vector<uint64_t> ids;
};

// The hash that stands for an account or a message id.
uint64_t SeenHash(const std::string& text);
uint64_t AccountHash(const std::string& server, const std::string& user);

// The seen-mail file that belongs to the settings file at settingsPath.
std::string SeenMailPathFor(const std::string& settingsPath);

// The file's text for the record.
std::string FormatSeenMail(const SeenMail& seen);
// The record in the text, when it is a whole, undamaged one for account.
bool ParseSeenMail(const std::string& text, uint64_t account, SeenMail& seen);

// What is known of account; a missing, damaged or foreign file means nothing.
SeenMail LoadSeenMail(Platform& platform, const std::string& path, uint64_t account);
// Replaces the file in one step; false when it was not replaced.
bool SaveSeenMail(Platform& platform, const std::string& path, const SeenMail& seen);
