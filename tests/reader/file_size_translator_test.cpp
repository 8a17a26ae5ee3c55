#include "TarvexReader/Progress/file_size_translator.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace {

TEST(FileSizeTranslator, WholeUnitsWithTheLocalesGrouping) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const std::pair<std::uint64_t, const char*> rows[] = {
        {0, "0 bytes"},          {1, "1 byte"},        {2, "2 bytes"},          {1023, "1,023 bytes"},
        {1024, "1 KB"},          {1048575, "1,023 KB"}, {1048576, "1 MB"},      {3 * 1048576 + 5, "3 MB"},
        {1073741824, "1 GB"},    {5000000000, "4 GB"},  {18446744073709551615ULL, "17,179,869,183 GB"},
    };
    for (const auto& [bytes, text] : rows) {
        EXPECT_EQ(TarvexReader::FileSizeTranslator::humanReadableWithSpaceUsedInBytes(bytes), text) << bytes;
    }
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(TarvexReader::FileSizeTranslator::humanReadableWithSpaceUsedInBytes(1023), "1.023 bytes");
    QLocale::setDefault(QLocale::c());
}

} // namespace
