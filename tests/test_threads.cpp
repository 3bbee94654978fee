// Images used from several threads at once: each thread writes, reads back, inspects and
// rescales images of its own at every depth (each with a colour table of its own, so that
// every thread's palette search learns a different table), all of them copy and write one
// shared image, and another thread flips the warnings switch meanwhile. CI also runs this
// under ThreadSanitizer.
#include <atomic>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Pixelry/Pixelry.h"
#include "support/Messages.h"
#include "support/Pattern.h"
#include "support/Pixel.h"
#include "support/RoundTrip.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

namespace {

using namespace testing_support;

constexpr int kThreads = 4;
constexpr int kRounds = 10;
constexpr int kDepths[] = {1, 4, 8, 16, 24, 32};

// A 37 x 23 picture drawn from seed; at 1, 4 and 8 bits with a table drawn from it too.
BMP picture(int seed, int bits) {
  BMP image = patterned(37, 23, seed);
  image.SetBitDepth(bits);
  if (bits <= 8) setTable(image, randomTable(bits, static_cast<unsigned>(seed)));
  return image;
}

// One thread's work; returns what went wrong, empty when nothing did.
std::string work(int seed, const std::string& directory, BMP& shared) {
  std::string problems;
  const auto check = [&](bool fine, const std::string& what) {
    if (!fine) problems += what + "\n";
  };
  for (int round = 0; round < kRounds; ++round)
    for (const int bits : kDepths) {
      const std::string at = std::to_string(seed) + "_" + std::to_string(bits);
      const std::string path = directory + "/" + at + ".bmp";
      const BMP image = picture(seed + round, bits);
      check(BMP(image).WriteToFile(path.c_str()), at + " written");
      BMP back;
      check(back.ReadFromFile(path.c_str()), at + " read");
      const Palette table = tableOf(image);
      int wrong = 0;
      for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x)
          wrong += rgba(back.GetPixel(x, y)) != afterRoundTrip(bits, table, image.GetPixel(x, y));
      check(wrong == 0, at + ": " + std::to_string(wrong) + " pixels read back wrong");
      check(GetBitmapColorDepth(path.c_str()) == bits && GetBMIH(path.c_str()).biWidth == 37,
            at + " headers");
      check(Rescale(back, 'P', 50) && back.TellWidth() == 18 && back.TellHeight() == 11, at + " rescaled");
      back.GetPixel(-1, 99);  // prints a two-line warning while warnings are on
      const BMP copy(shared);
      check(rgba(copy.GetPixel(5, 7)) == rgba(shared.GetPixel(5, 7)), at + " shared image copied");
      check(shared.WriteToFile((directory + "/shared_" + at + ".bmp").c_str()), at + " shared image written");
    }
  return problems;
}

TEST(Threads, DistinctImagesInParallelAndASharedOneOnlyRead) {
  TempDir dir;
  BMP shared = picture(99, 8);
  std::ostringstream out;
  std::streambuf* previous = std::cout.rdbuf(out.rdbuf());
  std::atomic<bool> done{false};
  std::thread flipper([&] {
    for (bool on = false; !done; on = !on) {
      on ? SetPixelrywarningsOn() : SetPixelrywarningsOff();
      std::this_thread::yield();
    }
  });
  std::vector<std::string> problems(kThreads);
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t)
    workers.emplace_back([&, t] { problems[t] = work(t, dir.path().string(), shared); });
  for (std::thread& worker : workers) worker.join();
  done = true;
  flipper.join();
  SetPixelrywarningsOn();
  std::cout.rdbuf(previous);

  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(problems[t], "") << "thread " << t;
  // The only messages are the out-of-range warnings, and each arrived whole.
  const std::vector<std::string> lines = linesOf(out.str());
  const std::vector<std::string> warning = linesOf(clampedPixel(17, 10));
  ASSERT_EQ(lines.size() % 2, 0u);
  for (std::size_t i = 0; i < lines.size(); i += 2) {
    EXPECT_EQ(lines[i], warning[0]);
    EXPECT_EQ(lines[i + 1], warning[1]);
  }
}

}  // namespace
