// Every message text of the library, as the bytes it writes: code page 936
// (GBK) for the Chinese texts, no conversion at run time. Each constant shows
// its text beside it; the bytes were made with iconv -f UTF-8 -t GBK, and the
// message test decodes them again so that none can drift.
#ifndef SEATENROL_LOG_MESSAGES_H
#define SEATENROL_LOG_MESSAGES_H

namespace seatenrol {
namespace messages {

// Log line: IP(host)@tag date time message.
// "%s(%s)@%s %04d-%02d-%02d %02d:%02d:%02d %s\n"
constexpr char kLogLineFormat[] = "%s(%s)@%s %04d-%02d-%02d %02d:%02d:%02d %s\n";

// Report of a failed system call: where, code, system text.
// "%s 代码调用API函数失败 %d: %s"
constexpr char kApiFailureFormat[] =
    "%s \xB4\xFA\xC2\xEB\xB5\xF7\xD3\xC3"
    "API\xBA\xAF\xCA\xFD\xCA\xA7\xB0\xDC %d: %s";

// Where the request builder reports a failed address discovery.
// "int __thiscall CRegisterSession::CreatPSCRegisterCommand(class CPSCRegisterCommand &,unsigned
// char *,unsigned char *,unsigned char *,int)"
constexpr char kCreatPSCRegisterCommandSignature[] =
    "int __thiscall CRegisterSession::CreatPSCRegisterCommand(class CPSCRegisterCommand &,unsigned "
    "char *,unsigned char *,unsigned char *,int)";

// Log: no IP address found for the request.
// "GetSystemIP()获取系统IP失败\n"
constexpr char kGetSystemIPFailed[] =
    "GetSystemIP()\xBB\xF1\xC8\xA1\xCF\xB5\xCD\xB3IP\xCA\xA7\xB0\xDC\n";

// Log: no MAC address found for the request.
// "CreatPSCRegisterCommand GetSystemMac()获取系统MAC地址失败\n"
constexpr char kGetSystemMacFailed[] =
    "CreatPSCRegisterCommand "
    "GetSystemMac()\xBB\xF1\xC8\xA1\xCF\xB5\xCD\xB3MAC\xB5\xD8\xD6\xB7\xCA\xA7\xB0\xDC\n";

// Log: no host name for the request.
// "CreatPSCRegisterCommand GetHostName()获取主机名失败\n"
constexpr char kGetHostNameFailed[] =
    "CreatPSCRegisterCommand "
    "GetHostName()\xBB\xF1\xC8\xA1\xD6\xF7\xBB\xFA\xC3\xFB\xCA\xA7\xB0\xDC\n";

// Debugger: the request could not be sent.
// "SendCommand(&objPSCRegisterCommand)  Erroe!\n"
constexpr char kSendCommandError[] = "SendCommand(&objPSCRegisterCommand)  Erroe!\n";

// Debugger: no reply within the wait limit.
// "RawRecvFrom  Erroe! CONST_COMMUNICATION_TIMEOUT\n"
constexpr char kRecvTimeout[] = "RawRecvFrom  Erroe! CONST_COMMUNICATION_TIMEOUT\n";

// Debugger: the receive failed.
// "RawRecvFrom  Erroe! CONST_COMMUNICATION_ERROR\n"
constexpr char kRecvError[] = "RawRecvFrom  Erroe! CONST_COMMUNICATION_ERROR\n";

// Debugger: the reply did not fit the receive buffer.
// "RawRecvFrom  Erroe! CONST_COMMUNICATION_PACKET_ERROR\n"
constexpr char kRecvPacketError[] = "RawRecvFrom  Erroe! CONST_COMMUNICATION_PACKET_ERROR\n";

// Debugger: the registration exchange failed.
// "objRegisterSession.Register 注册失败\n\n"
constexpr char kRegisterFailedDebug[] =
    "objRegisterSession.Register \xD7\xA2\xB2\xE1\xCA\xA7\xB0\xDC\n\n";

// Log: the registration exchange failed.
// "objRegisterSession.Register注册失败\n"
constexpr char kRegisterFailedLog[] =
    "objRegisterSession.Register\xD7\xA2\xB2\xE1\xCA\xA7\xB0\xDC\n";

// Debugger and log: the server refused; %d is its error number.
// " CLoginThread::Register() 注册失败，返回的错误代码号为:%d\n\n"
constexpr char kRegisterRefused[] =
    " CLoginThread::Register() "
    "\xD7\xA2\xB2\xE1\xCA\xA7\xB0\xDC\xA3\xAC\xB7\xB5\xBB\xD8\xB5\xC4\xB4\xED\xCE\xF3\xB4\xFA\xC2"
    "\xEB\xBA\xC5\xCE\xAA:%d\n\n";

// Debugger: the accepting answer's error info is short; its length, then 52.
// " 注册应答返回的错误信息长度为:%d，小于网吧ID和密码口令的长度和：%d\n"
constexpr char kShortErrorInfo[] =
    " \xD7\xA2\xB2\xE1\xD3\xA6\xB4\xF0\xB7\xB5\xBB\xD8\xB5\xC4\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2\xB3"
    "\xA4\xB6\xC8\xCE\xAA:%"
    "d\xA3\xAC\xD0\xA1\xD3\xDA\xCD\xF8\xB0\xC9ID\xBA\xCD\xC3\xDC\xC2\xEB\xBF\xDA\xC1\xEE\xB5\xC4"
    "\xB3\xA4\xB6\xC8\xBA\xCD\xA3\xBA%d\n";

// Debugger: a new stored server list is started.
// "写注册信息\n\n"
constexpr char kWriteRegisterInfoDebug[] = "\xD0\xB4\xD7\xA2\xB2\xE1\xD0\xC5\xCF\xA2\n\n";

// Log: a new stored server list is started.
// "写注册信息"
constexpr char kWriteRegisterInfoLog[] = "\xD0\xB4\xD7\xA2\xB2\xE1\xD0\xC5\xCF\xA2";

// Log: a full stored server list gave up its oldest entry for a new server;
// the dropped entry's name (length, text) and port.
constexpr char kServerListFull[] =
    "RegisterServer: server list full, dropped the oldest entry %.*s:%d\n";

// Debugger and log: the accepted enrolment could not be recorded in the
// stored list.
constexpr char kServerListNotStored[] = "RegisterServer: the server list could not be stored\n";

// Debugger and log: another writer held the stored list for the whole wait;
// the enrolment wrote nothing.
constexpr char kServerListLocked[] =
    "RegisterServer: the server list is locked by another writer\n";

}  // namespace messages
}  // namespace seatenrol

#endif
