#include "instrument/acquisition/point_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "framework/settings/program_objects.h"

namespace norv {
namespace {

class RecordingLayer : public IAcqLayer {
 public:
  void SetSignalScale(int, double, double) override {}
  void PutSample(int index, double value) override { puts.emplace_back(index, value); }
  std::vector<std::pair<int, double>> puts;
};

class PointStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreshProgramState();
    for (int ch : {2, 3}) {
      TPointStore::TChannelTarget& t = store.Target(ch);
      t.Record = &records[ch == 2 ? 0 : 2];
      t.RecordIndex = ch == 2 ? 0 : 2;
    }
  }
  void TearDown() override { FreshProgramState(); }

  // Stores one record of codes for channel 2 from point 0 on.
  void StoreRecord(const std::vector<int16_t>& codes) {
    for (size_t i = 0; i < codes.size(); ++i) {
      store.AcqPointIndex = static_cast<uint16_t>(i);
      store.StoreAcquiredPoint(2, codes[i]);
    }
  }

  TPointStore store;
  std::array<TSignalObj, 4> records;
};

// Reference: each pair holds the min and max of both its samples over all records.
TEST_F(PointStoreTest, EnvelopePairsHoldMinimumAndMaximumOfAllRecords) {
  const int len = 1024;
  TSignalObj& r = records[0];
  std::vector<std::vector<int16_t>> recs;
  uint32_t seed = 12345;
  for (int k = 0; k < 5; ++k) {
    std::vector<int16_t>& codes = recs.emplace_back(len);
    for (int16_t& c : codes) {
      seed = seed * 1103515245u + 12345u;
      c = static_cast<int16_t>(static_cast<int>(seed >> 16) % 20001 - 10000);
    }
    store.AcqStoreMode = k == 0 ? asmEnvStart : asmEnvWiden;
    StoreRecord(codes);
  }
  for (int pair = 0; pair < len / 2; ++pair) {
    int lo = 32767, hi = -32768;
    for (const auto& codes : recs)
      for (int j : {2 * pair, 2 * pair + 1}) {
        lo = std::min<int>(lo, codes[j]);
        hi = std::max<int>(hi, codes[j]);
      }
    ASSERT_DOUBLE_EQ(r.GetStoredY(2 * pair), lo * kVoltsPerCode) << "pair " << pair;
    ASSERT_DOUBLE_EQ(r.GetStoredY(2 * pair + 1), hi * kVoltsPerCode) << "pair " << pair;
  }
}

TEST_F(PointStoreTest, KeepMaximumAndMinimumAfterAPlainFirstRecord) {
  store.AcqStoreMode = asmPlain;
  StoreRecord({100, -100, 0});
  store.AcqStoreMode = asmKeepMax;
  StoreRecord({50, 50, 50});
  EXPECT_DOUBLE_EQ(records[0].GetStoredY(0), 100 * kVoltsPerCode);
  EXPECT_DOUBLE_EQ(records[0].GetStoredY(1), 50 * kVoltsPerCode);
  store.AcqStoreMode = asmKeepMin;
  StoreRecord({-10, 70, 20});
  EXPECT_DOUBLE_EQ(records[0].GetStoredY(0), -10 * kVoltsPerCode);
  EXPECT_DOUBLE_EQ(records[0].GetStoredY(1), 50 * kVoltsPerCode);
  EXPECT_DOUBLE_EQ(records[0].GetStoredY(2), 20 * kVoltsPerCode);
}

TEST_F(PointStoreTest, PointsArePlottedAndMaskTestedAsStored) {
  RecordingLayer layer;
  std::vector<std::pair<int, int>> maskHits;
  int maskRuns = 0;
  AcqHooks.CountMaskHitsInRun.Set([&](int ch, int first, int count) {
    ++maskRuns;
    for (int i = first; i < first + count; ++i) maskHits.emplace_back(ch, i);
  });
  TPointStore::TChannelTarget& t = store.Target(2);
  t.Layer = &layer;
  t.MaskCompare = true;

  store.AcqStoreMode = asmPlain;
  StoreRecord({16000, 8000});
  ASSERT_EQ(layer.puts.size(), 2u);
  EXPECT_EQ(layer.puts[1], std::make_pair(1, 0.5));
  EXPECT_EQ(maskHits, (std::vector<std::pair<int, int>>{{2, 0}, {2, 1}}));

  // Envelope pairs go out together once the odd point is in.
  layer.puts.clear();
  store.AcqStoreMode = asmEnvStart;
  store.AcqPointIndex = 4;
  store.StoreAcquiredPoint(2, 1600);
  EXPECT_TRUE(layer.puts.empty());
  store.AcqPointIndex = 5;
  store.StoreAcquiredPoint(2, -1600);
  EXPECT_EQ(layer.puts, (std::vector<std::pair<int, double>>{{4, -0.1}, {5, 0.1}}));

  // A block goes to the mask test in one run: each completed pair once, the open pair not.
  maskHits.clear();
  maskRuns = 0;
  store.AcqPointIndex = 10;
  store.StoreAcquiredPoints(2, std::vector<int16_t>(601, 100));
  EXPECT_EQ(maskRuns, 1);
  ASSERT_EQ(maskHits.size(), 600u);
  for (int k = 0; k < 600; ++k) ASSERT_EQ(maskHits[k], std::make_pair(2, 10 + k));

  // The layer shows the record's unit: a reflection record plots rho, stores volts.
  layer.puts.clear();
  records[0].SetTdrUnitKind(tukRho);
  records[0].SetTdrAmplitude(0.25);
  records[0].SetTdrBase(0.0);
  store.AcqStoreMode = asmKeepMax;
  store.AcqPointIndex = 9;
  store.StoreAcquiredPoint(2, 1600);  // 0.1 V over a stored 0 V
  EXPECT_DOUBLE_EQ(records[0].GetStoredY(9), 0.1);
  ASSERT_EQ(layer.puts.size(), 1u);
  EXPECT_DOUBLE_EQ(layer.puts[0].second, 0.4);
}

TEST_F(PointStoreTest, NothingIsStoredBeyondTheRecordOrBeforeTheFirstRecord) {
  RecordingLayer layer;
  store.Target(2).Layer = &layer;
  store.AcqStoreMode = asmPlain;
  EXPECT_EQ(store.AcqPointIndex, kNoPointIndex);
  store.StoreAcquiredPoint(2, 1000);
  store.AcqPointIndex = 4096;
  store.StoreAcquiredPoint(2, 1000);
  store.AcqStoreMode = asmEnvWiden;
  store.StoreAcquiredPoint(2, 1000);
  EXPECT_TRUE(layer.puts.empty());
  store.AcqPointIndex = 4095;
  store.StoreAcquiredPoint(2, 1000);  // the last odd point still completes its pair
  EXPECT_EQ(layer.puts.size(), 2u);
}

}  // namespace
}  // namespace norv
