#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "check/outcome.h"
#include "check/seen_mail.h"

class Pop3Channel;

// One line of a UIDL listing: "n id", n from 1 to count and the id 1 to 70
// characters from 0x21 to 0x7E (RFC 1939). False when the line is not one.
bool ParseListingLine(const std::string& line, int count, int& number, std::string& id);

// After STAT: finds which of counted.count messages are new since the
// previous check (UIDL, else the count), reads the headers of the newest of
// them (TOP n 0) and fills counted with both and with what to remember.
// A refused, unanswered or unusable listing falls back to the count. False
// when a header reply did not come whole (time ran out, the connection
// ended): nothing more may be sent then, but counted stands, that message
// and those after it told without sender and subject.
bool FindNewMail(Pop3Channel& channel, const NewMailBasis& basis, CheckOutcome& counted);
