// Two streams in one process: each thread owns a quexal::Session, so their
// effects never share state. Builds against the public headers alone.
#include <quexal/quexal.hpp>

#include <cstdio>
#include <thread>
#include <vector>

namespace {

// Runs a few frames of one effect chain on its own session; false on a refusal.
bool runStream(const char* data, int width, int height, quexal::Lens lens, bool& ok) {
    quexal::Session session;
    std::vector<uint8_t> frame(static_cast<size_t>(width) * height * 3, 100);
    ok = session.valid() && session.init(data, width, height, quexal::RowOrder::TopDown);
    for (int i = 0; ok && i < 5; ++i)
        ok = session.lens(frame.data(), lens) == QX_DONE &&
             session.colour(frame.data(), quexal::Colour::Sepia) == QX_DONE &&
             session.fire(frame.data()) == QX_DONE;
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    const char* data = argc > 1 ? argv[1] : "/usr/local/share/quexal";
    bool first = false, second = false;
    std::thread a([&] { runStream(data, 320, 240, quexal::Lens::Swirl, first); });
    std::thread b([&] { runStream(data, 640, 360, quexal::Lens::Bulge, second); });
    a.join();
    b.join();
    std::printf("stream 1: %s, stream 2: %s\n", first ? "ok" : "refused",
                second ? "ok" : "refused");
    return first && second ? 0 : 1;
}
