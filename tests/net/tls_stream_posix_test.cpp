#include "e2e/rtmp/peer_control.h"
#include "net/byte_stream.h"

#include <gtest/gtest.h>

TEST(TlsStream, NativeBuildExplainsThatTlsIsMissing) {
    const int port = findFreePort();
    std::string error;
    auto listener = openListener(port, false, error);
    ASSERT_TRUE(listener);
    EXPECT_FALSE(openStream("127.0.0.1", port, true, 2000, error));
    EXPECT_EQ(error, "TLS is not available");
}
