#pragma once

#include <string>

class CharsetDecoder;

// Who sent a message and what it is about, as UTF-8 text fit to show (see
// SafeText), every encoded word decoded that could be.
struct MailSummary {
  std::string sender;   // the display name, else the address
  std::string subject;
};

// Decodes the RFC 2047 encoded words (B and Q) in an unfolded header value,
// in time linear in its length, into safe text. The program's own tables
// cover the common charsets; system, when given, converts any other. A word
// that cannot be decoded stays as it stands.
std::string DecodeHeaderText(const std::string& value, const CharsetDecoder* system);

// The sender and subject from a message's header block (the lines before
// the first empty one), with folded lines unfolded.
MailSummary ReadMailSummary(const std::string& header, const CharsetDecoder* system);
