#include "app/start_request.h"

#include <algorithm>
#include <cctype>

CopyRequest ParseStartRequest(const std::vector<std::string>& arguments) {
  CopyRequest request = CopyRequest::kCheck;
  for (const std::string& argument : arguments) {
    if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) continue;
    std::string name = argument.substr(1);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name == "exit") request = CopyRequest::kExit;
    if (name == "check") request = CopyRequest::kCheck;
  }
  return request;
}
