#include "platform/qt/QtCaptureDevice.h"

#include <gtest/gtest.h>

namespace vivurozed {
namespace {

class Listener : public TCaptureListener {
 public:
  int calls = 0;
  void CaptureOpened() override { ++calls; }
  void CaptureData(TWaveHeader&) override { ++calls; }
  void CaptureClosed() override { ++calls; }
};

TEST(QtCaptureDevice, RefusesToOpenWithoutASoundCard) {
  TQtCaptureDevice device{QAudioDevice()};
  Listener listener;
  const int code = device.Open(PcmFormat(11025, 1), listener);
  EXPECT_EQ(code, TQtCaptureDevice::kNoDevice);
  EXPECT_EQ(device.ErrorText(code), "no sound card input was found");
  device.Close();
  EXPECT_EQ(listener.calls, 0);
}

}  // namespace
}  // namespace vivurozed
