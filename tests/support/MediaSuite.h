#pragma once
// A test suite whose media are made once for all its tests (ffmpeg takes its time), in a folder that
// lives as long as the suite: the suite derives from MediaSuite<itself>, and its SetUpTestSuite makes
// the folder and the media in it.

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace k72test {

template <typename Suite> class MediaSuite : public ::testing::Test {
protected:
    static void TearDownTestSuite() { folder.reset(); }

    static inline std::unique_ptr<TempDir> folder;
};

} // namespace k72test
