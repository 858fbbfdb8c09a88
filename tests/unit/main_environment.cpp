// Builds the CRC table once for every unit test, as the program entry does.
#include <gtest/gtest.h>

#include "base/crc.h"

namespace {

class CrcTableEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    quillon::BuildCrcTable(&table_);
    table_.carryless = quillon::ProcessorHasCarrylessMultiply();
    quillon::crcTable = &table_;
  }

 private:
  quillon::CrcTable table_{};
};

const auto* const registered = ::testing::AddGlobalTestEnvironment(new CrcTableEnvironment);

}  // namespace
