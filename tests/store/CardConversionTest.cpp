// The parts of a conversion into the card's form that need no real movie: what is told for each way a
// conversion ends, a picture that cannot be read, and the size check of a converted file.
#include "store/CardConversion.h"

#include "store/StoreMessages.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace k72 {
namespace {

using namespace k72test;

TEST(CardConversion, EachEndHasItsMessageAndACancelNone) {
    ConversionResult result;
    EXPECT_FALSE(ConversionMessage(result, "/tmp"));
    result.failure = ConversionFailure::Cancelled;
    result.code = rc::Fail;
    EXPECT_FALSE(ConversionMessage(result, "/tmp")) << "a cancel is silent";
    result.failure = ConversionFailure::TooLarge;
    EXPECT_EQ(ConversionMessage(result, "/tmp"), std::string(messages::kFileTooLarge));
    result.failure = ConversionFailure::Failed;
    result.code = rc::DiscSpaceInsufficient;
    EXPECT_EQ(ConversionMessage(result, "/scratch"), messages::TemporaryDiskFull("/scratch"));
}

TEST(CardConversion, APictureThatCannotBeReadFailsWithItsCodeAndLeavesNothing) {
    TempDir dir;
    WriteFileBytes(dir / "notes.jpg", {'n', 'o', 't', 'e', 's'});
    const ConversionResult result = ConvertPicture(dir / "notes.jpg", dir / "out.jpg", Settings{});
    EXPECT_EQ(result.failure, ConversionFailure::Failed);
    EXPECT_TRUE(Failed(result.code));
    EXPECT_EQ(result.cause, "this is not a picture: it is a text file");
    // The program's message, then the cause on a line of its own.
    EXPECT_EQ(ConversionMessage(result, "/tmp"),
              std::string(messages::kLoadFailed) + "\nThis is not a picture: it is a text file.");
    EXPECT_FALSE(std::filesystem::exists(dir / "out.jpg"));
    EXPECT_FALSE(FitsOnCard(dir / "out.jpg")) << "a file that is not there does not go onto the card";
    EXPECT_FALSE(FitsOnCard(dir.Path())) << "nor does a folder";
}

} // namespace
} // namespace k72
