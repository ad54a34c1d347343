#include "cli/Command.h"

#include <exception>
#include <iostream>

namespace orvek::cli {

int PrintResult(const nlohmann::ordered_json& result, const std::string& laterFailure) {
  std::cout << result.dump(2) << '\n';
  if (laterFailure.empty()) return 0;
  std::cerr << "orvek-cli: " << laterFailure << '\n';
  return 1;
}

int RunCommand(const Command& command) {
  try {
    return command.Run();
  } catch (const std::exception& error) {
    std::cerr << "orvek-cli: " << error.what() << '\n';
    return 1;
  }
}

}  // namespace orvek::cli
