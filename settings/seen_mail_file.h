#pragma once

#include <cstdint>
#include <string>

#include "check/seen_mail.h"

class Files;

// The file's text for the record.
std::string FormatSeenMail(const SeenMail& seen);
// The record in the text, when it is a whole, undamaged one for account.
bool ParseSeenMail(const std::string& text, uint64_t account, SeenMail& seen);

// What is known of account; a missing, damaged or foreign file means nothing.
SeenMail LoadSeenMail(Files& files, const std::string& path, uint64_t account);
// Replaces the file in one step; false when it was not replaced.
bool SaveSeenMail(Files& files, const std::string& path, const SeenMail& seen);
