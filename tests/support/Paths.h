// Where the build put things, in the Windows form the programs under Wine see.
#pragma once

#include <string>

namespace support {

// The real client program of this build tree.
std::string ExamClientPath();
// A path in the folder of the test programs, for files left for the developer.
std::string OutputPath(const std::string& fileName);

}  // namespace support
