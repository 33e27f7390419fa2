#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "core/Error.h"
#include "core/Exception.h"
#include "core/FileSpecification.h"
#include "core/Status.h"

using namespace Lumetra;

TEST(Status, standardTableHoldsTheEightTexts) {
    EXPECT_STREQ(statusText(0x1000000), "Success");
    EXPECT_STREQ(statusText(0x1000001), "Failure");
    EXPECT_STREQ(statusText(0x1000002), "Out of memory");
    EXPECT_STREQ(statusText(0x1000003), "Null pointer exception");
    EXPECT_STREQ(statusText(0x1000004), "Invalid argument passed to function");
    EXPECT_STREQ(statusText(0x1000005), "Program interrupt encountered");
    EXPECT_STREQ(statusText(0x1000006), "Invalid protocol");
    EXPECT_STREQ(statusText(0x1000007), "Unknown colorspace");
}

TEST(Status, unknownIndicesAndOtherTablesYieldNoText) {
    EXPECT_EQ(statusText(0x1000008), nullptr);
    EXPECT_EQ(statusText(0x100FFFF), nullptr);
    EXPECT_EQ(statusText(0x0000000), nullptr);
    EXPECT_EQ(statusText(0x4000000), nullptr);
    EXPECT_EQ(statusText(0xF000001), nullptr);
    // Bits 16..23 are not part of the index.
    EXPECT_STREQ(statusText(0x1010001), "Failure");
}

TEST(Exception, subclassesCarryTheirStatusTexts) {
    EXPECT_STREQ(InvalidArgumentException().getMessage(), "Invalid argument passed to function");
    EXPECT_STREQ(InvalidArgumentException("width").getMessage(),
                 "Invalid argument passed to function: width");
    EXPECT_STREQ(InvalidArgumentException(static_cast<const char*>(nullptr)).getMessage(),
                 "Invalid argument passed to function");
    EXPECT_STREQ(NullPointerException().getMessage(), "Null pointer exception");
    EXPECT_STREQ(Interrupt().getMessage(), "Program interrupt encountered");
    EXPECT_STREQ(GeometryException("bent").getMessage(), "bent");
}

TEST(Exception, messageIsAnOwnedCopy) {
    char text[] = "original";
    Exception e(text);
    std::strcpy(text, "changed!");
    EXPECT_STREQ(e.getMessage(), "original");

    Exception copy(e);
    e.setMessage("replaced");
    EXPECT_STREQ(copy.getMessage(), "original");
    EXPECT_STREQ(e.getMessage(), "replaced");

    e.setMessage(e.getMessage());  // its own text
    EXPECT_STREQ(e.getMessage(), "replaced");
}

TEST(Exception, withoutTextHasNullMessageButPrintableWhat) {
    EXPECT_EQ(Exception().getMessage(), nullptr);
    EXPECT_EQ(Exception(uint32_t(0x4000001)).getMessage(), nullptr);
    EXPECT_STREQ(Exception(uint32_t(0x4000001)).what(), "");
    EXPECT_STREQ(Exception(uint32_t(StatusUnknownColorspace)).getMessage(), "Unknown colorspace");
    Exception e("x");
    e.setMessage(nullptr);
    EXPECT_EQ(e.getMessage(), nullptr);
}

TEST(Error, fileErrorsFormatTheirMessages) {
    const FileSpecification file("maps\\city.wvr");
    EXPECT_STREQ(OpenError(file, "read").message(), "Error opening file maps\\city.wvr for read.");
    EXPECT_STREQ(OpenError("out.bip", "write").message(), "Error opening file out.bip for write.");
    EXPECT_STREQ(ReadError(file).message(), "Error reading file maps\\city.wvr.");
    EXPECT_STREQ(WriteError(FileSpecification("a/b.bip")).message(),
                 "Error writing file a/b.bip. Perhaps you are out of disk space.");
    EXPECT_STREQ(Error("Error encountered in write_marker.").message(), "Error encountered in write_marker.");
}

TEST(Error, getMessageHandsTheCallerAnIndependentCopy) {
    const ReadError e("x.hdr");
    std::unique_ptr<char[]> first(e.getMessage());
    first[0] = '#';
    std::unique_ptr<char[]> second(e.getMessage());
    EXPECT_STREQ(second.get(), "Error reading file x.hdr.");
    EXPECT_NE(first.get(), second.get());
}
