// Recording must not bring the heap back into the tick: building a tick's
// and a datagram's line and appending them to the writer allocate nothing,
// while the writer thread writes them out at the same time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "counting_new.h"
#include "engine/recording_lines.h"
#include "engine/recording_writer.h"

namespace hub::alloc {
namespace {

class CountingFile final : public RecordingFile {
public:
    std::atomic<std::uint64_t> bytes{0};
    std::size_t write(std::span<const char> written) override {
        bytes += written.size();
        return written.size();
    }
    bool flush() override { return true; }
    bool truncate(std::uint64_t) override { return true; }
    std::string failure() override { return {}; }
};

TEST(HeapAllocation, NonePerRecordedTick) {
    CountingFile file;
    RecordingWriter writer(file, RecordingWriter::kDefaultCapacity,
                           WriterTiming{std::chrono::milliseconds(1), std::chrono::milliseconds(5)});
    RecordedTick tick;
    tick.deck.lY = -600;
    tick.deck.rgbButtons[0] = tick.deck.rgbButtons[3] = 0x80;
    tick.pad.lX = 1000;
    tick.deckAcquire[0] = kInputLost;
    tick.deckAcquireCount = 1;
    const std::uint8_t inputs[] = {32, 128, 5, 0, 0, 100, 156, 0, 0};
    constexpr int kTicks = 10000;
    std::uint64_t lineBytes = 0;
    AllocationCounter counter;
    for (int i = 0; i < kTicks; ++i) {
        tick.t = 1000 + 33u * static_cast<unsigned>(i);
        EventLine recv;
        encodeRecv({kLoopback, 50123}, inputs, recv);
        writer.append(recv.text());
        EventLine line;
        encodeTick(tick, line);
        writer.append(line.text());
        lineBytes += recv.text().size() + line.text().size() + 2;
    }
    const std::uint64_t allocations = counter.count();
    writer.close();
    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(file.bytes, lineBytes) << "the lines did not all reach the file";
    EXPECT_EQ(writer.stoppedEarly(), std::nullopt);
}

}  // namespace
}  // namespace hub::alloc
