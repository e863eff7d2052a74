#pragma once

#include <string>

#include "check/outcome.h"

// What is remembered of one account between its outcomes.
struct AccountMemory {
  // What its tooltip shows: nothing yet, its count, or a text of its own
  // (a failure's, or why nothing is checked).
  enum class Shown { kNothing, kCount, kText };
  Shown shown = Shown::kNothing;
  int count = 0;
  std::string countText;
  // Said in the tooltip in place of the count: what the user should know
  // even while the account is checked well.
  std::string note;
  std::string text;
  // Its last outcome was a failure, or it is not checked at all.
  bool failed = false;
  // Its run of failures has had its error sound.
  bool failing = false;
  // The rejection whose box was shown, kEnded when none, and the server,
  // user name and password it was shown for: the same rejection of the same
  // account again is told in the tooltip alone.
  OutcomeKind boxedRejection = OutcomeKind::kEnded;
  std::string boxedAccount;
};
