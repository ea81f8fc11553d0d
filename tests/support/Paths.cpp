#include "support/Paths.h"

// Both come from the build as Windows paths (Wine shows the root as Z:).
#ifndef EXAM_CLIENT_PATH
#error "EXAM_CLIENT_PATH must name the client program"
#endif
#ifndef TEST_OUTPUT_DIR
#error "TEST_OUTPUT_DIR must name the folder of the test programs"
#endif

namespace support {

std::string ExamClientPath() { return EXAM_CLIENT_PATH; }

std::string OutputPath(const std::string& fileName) {
  return std::string(TEST_OUTPUT_DIR) + "\\" + fileName;
}

}  // namespace support
