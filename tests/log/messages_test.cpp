#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <string>

#include "log/messages.h"

namespace seatenrol {
namespace {

// The text of GBK bytes in UTF-8, through the C library's converter.
std::string DecodeGbk(const char* bytes) {
  iconv_t converter = iconv_open("UTF-8", "GBK");
  if (converter == reinterpret_cast<iconv_t>(-1)) return "(no GBK converter)";
  std::string input(bytes);
  std::string output(input.size() * 4 + 4, '\0');
  char* in = &input[0];
  std::size_t inLeft = input.size();
  char* out = &output[0];
  std::size_t outLeft = output.size();
  const std::size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
  iconv_close(converter);
  if (result == static_cast<std::size_t>(-1) || inLeft != 0) return "(not GBK)";
  output.resize(output.size() - outLeft);
  return output;
}

TEST(Messages, EveryTextDecodesFromCodePage936ToItsWording) {
  struct {
    const char* name;
    const char* bytes;
    const char* text;
  } catalogue[] = {
      {"kLogLineFormat", messages::kLogLineFormat,
       u8"%s(%s)@%s %04d-%02d-%02d %02d:%02d:%02d %s\n"},
      {"kApiFailureFormat", messages::kApiFailureFormat, u8"%s 代码调用API函数失败 %d: %s"},
      {"kCreatPSCRegisterCommandSignature", messages::kCreatPSCRegisterCommandSignature,
       u8"int __thiscall CRegisterSession::CreatPSCRegisterCommand(class CPSCRegisterCommand "
       u8"&,unsigned char *,unsigned char *,unsigned char *,int)"},
      {"kGetSystemIPFailed", messages::kGetSystemIPFailed, u8"GetSystemIP()获取系统IP失败\n"},
      {"kGetSystemMacFailed", messages::kGetSystemMacFailed,
       u8"CreatPSCRegisterCommand GetSystemMac()获取系统MAC地址失败\n"},
      {"kGetHostNameFailed", messages::kGetHostNameFailed,
       u8"CreatPSCRegisterCommand GetHostName()获取主机名失败\n"},
      {"kSendCommandError", messages::kSendCommandError,
       u8"SendCommand(&objPSCRegisterCommand)  Erroe!\n"},
      {"kRecvTimeout", messages::kRecvTimeout,
       u8"RawRecvFrom  Erroe! CONST_COMMUNICATION_TIMEOUT\n"},
      {"kRecvError", messages::kRecvError, u8"RawRecvFrom  Erroe! CONST_COMMUNICATION_ERROR\n"},
      {"kRecvPacketError", messages::kRecvPacketError,
       u8"RawRecvFrom  Erroe! CONST_COMMUNICATION_PACKET_ERROR\n"},
      {"kRegisterFailedDebug", messages::kRegisterFailedDebug,
       u8"objRegisterSession.Register 注册失败\n\n"},
      {"kRegisterFailedLog", messages::kRegisterFailedLog,
       u8"objRegisterSession.Register注册失败\n"},
      {"kRegisterRefused", messages::kRegisterRefused,
       u8" CLoginThread::Register() 注册失败，返回的错误代码号为:%d\n\n"},
      {"kShortErrorInfo", messages::kShortErrorInfo,
       u8" 注册应答返回的错误信息长度为:%d，小于网吧ID和密码口令的长度和：%d\n"},
      {"kWriteRegisterInfoDebug", messages::kWriteRegisterInfoDebug, u8"写注册信息\n\n"},
      {"kWriteRegisterInfoLog", messages::kWriteRegisterInfoLog, u8"写注册信息"},
      {"kServerListFull", messages::kServerListFull,
       u8"RegisterServer: server list full, dropped the oldest entry %.*s:%d\n"},
      {"kServerListNotStored", messages::kServerListNotStored,
       u8"RegisterServer: the server list could not be stored\n"},
      {"kServerListLocked", messages::kServerListLocked,
       u8"RegisterServer: the server list is locked by another writer\n"},
  };
  for (const auto& message : catalogue) {
    EXPECT_EQ(DecodeGbk(message.bytes), message.text) << message.name;
  }
}

}  // namespace
}  // namespace seatenrol
