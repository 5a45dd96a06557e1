#pragma once

#include <chrono>
#include <random>

#include "links/link_host.h"
#include "links/links.h"
#include "net/ip_reader_record.h"

namespace trivane {

// Up to four TCP sources. Each slot connects in a background attempt, reads
// what arrives on every tick, and is renewed on a plan:
//
//   stopped --Run--> connecting --ok--> connected --lost--> waiting 1 s --> connecting
//                        |                  |
//                        +--failed--> waiting 5 s          +--2 h planned, or 15 min silent-->
//                                                              silent reconnect (100 ms)
class IPReaders final : public SourceReaders {
 public:
  static constexpr std::chrono::milliseconds kConnectLimit{5000};
  static constexpr std::int64_t kRetryAfterFailureMs = 5000;
  static constexpr std::int64_t kRetryAfterLossMs = 1000;
  static constexpr std::int64_t kRetryAfterForcedMs = 100;
  static constexpr std::int64_t kPlannedReconnectMs = 7'200'000;
  static constexpr std::int64_t kQuietBeforePlannedMs = 60'000;
  static constexpr std::int64_t kSilenceLimitMs = 900'000;
  static constexpr std::int64_t kDiscardAfterMs = 1000;

  explicit IPReaders(LinkHost& host);
  ~IPReaders() override;

  IPReaders(const IPReaders&) = delete;
  IPReaders& operator=(const IPReaders&) = delete;

  void IPReader_Init() override;
  void IPReader_Bye() override;
  void IPReader_ReadComm() override;
  bool AttemptsDone() override;
  std::string ErrText(int i) const override;
  void PlanWake(WakePlan& plan) override;

  tIPReader& Record() { return record_; }

  void IPReader_Run(int i);
  void IPReader_Quit(int i);
  void IPReader_Connect(int i);
  void IPReader_CheckConnect(int i);
  void IPReader_ReconnectTick(int i);
  void IPReader_OnDisconnected(TcpClient& client);
  void IPReader_ReadNewData(int i);
  void IPReader_ReceiveData(int i, ByteView bytes);
  // Every complete unit at the front of reader i's buffer, in order, through
  // the duplicate check to the router.
  void ParseHeldUnits(int i);

 private:
  tIP1Reader& Slot(int i) { return record_.Readers[static_cast<std::size_t>(i)]; }
  void AbandonAttempt(tIP1Reader& slot);
  void AttachDisconnected(TcpClient& client);

  LinkHost& host_;
  tIPReader record_;
  std::mt19937 random_{std::random_device{}()};
};

}  // namespace trivane
