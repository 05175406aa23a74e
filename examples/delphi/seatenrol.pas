{ seatenrol's C interface for Delphi (and Free Pascal in Delphi mode): every
  function, result, stage and structure of include/seatenrol/c_api.h.

  The functions are stdcall, the Win32 API's convention, which the 32-bit
  DLL uses; 64-bit Windows and x86-64 Linux have one convention, which
  stdcall then names. A Free Pascal program for 32-bit Linux writes cdecl
  in their place.

  The records are packed and laid out field for field as the C structures,
  which have no padding; the check below stops the compile when one is not
  the library's size. Texts are UTF-8: pass PAnsiChar(UTF8String(S)) and
  read returned texts with UTF8ToString. Set Size before each call that
  takes a record with a Size field.

  Callbacks (progress, messages, release) run on a library thread or the
  calling one, as c_api.h says for each; they must not raise an exception
  out of themselves: catch everything inside. }
unit seatenrol;

interface

const
{$IFDEF MSWINDOWS}
  SeatenrolLibrary = 'seatenrol.dll';
{$ELSE}
  SeatenrolLibrary = 'seatenrol';
{$ENDIF}

  { Results. 0 is success; every other value names why a call failed. }
  SEATENROL_OK = 0;
  SEATENROL_REFUSED = 1;              { the server refused: error -4, -5 or -6 }
  SEATENROL_NO_ANSWER = 2;            { no reply within the wait }
  SEATENROL_PORT_UNREACHABLE = 3;
  SEATENROL_UNRESOLVED = 4;
  SEATENROL_UNUSABLE_REPLY = 5;
  SEATENROL_NOT_SENT = 6;
  SEATENROL_NO_IDENTITY = 7;
  SEATENROL_STORE_FAILED = 8;
  SEATENROL_STORE_LOCKED = 9;
  SEATENROL_BAD_ARGUMENT = 10;
  SEATENROL_NO_MEMORY = 11;
  SEATENROL_NETWORK_NOT_STARTED = 12; { Windows: WSAStartup was not called }
  SEATENROL_NOT_FOUND = 13;
  SEATENROL_CANCELLED = 14;           { the host cancelled the call }
  SEATENROL_TIMED_OUT = 15;           { the deadline passed in the lookup or the lock wait }

  { Where a part of the identity came from. }
  SEATENROL_FROM_ADAPTER = 0;
  SEATENROL_FROM_HOST_NAME = 1;
  SEATENROL_FROM_ADDRESS = 2;

  { Where the stored server list was read from. }
  SEATENROL_LIST_NONE_YET = 0;
  SEATENROL_LIST_PRIMARY = 1;
  SEATENROL_LIST_BACKUP = 2;

  { Progress stages, in order. }
  SEATENROL_STAGE_RESOLVED = 1; { detail: how many addresses the name gave }
  SEATENROL_STAGE_SENT = 2;     { detail: the request's number for this address, 1 up }
  SEATENROL_STAGE_REPLY = 3;    { detail: the server's error number }
  SEATENROL_STAGE_STORING = 4;  { detail: 0 }
  SEATENROL_STAGE_DONE = 5;     { detail: the outcome }

type
  { seatenrol_enrolment: 64 bytes. A caller that sets Size to 60 gets the
    fields before SystemError, as callers built before it do. }
  TSeatenrolEnrolment = packed record
    Size: Cardinal;                     { SizeOf(TSeatenrolEnrolment) }
    Outcome: Integer;
    ErrorNo: Integer;                   { the server's error number when it answered }
    ServerIP: array[0..15] of AnsiChar; { dotted IPv4, NUL-terminated }
    Credential: array[0..31] of Byte;
    SystemError: Integer;               { errno, GetLastError or WSAGetLastError; else 0 }
  end;
  PSeatenrolEnrolment = ^TSeatenrolEnrolment;

  { seatenrol_identity: 60 bytes. }
  TSeatenrolIdentity = packed record
    Size: Cardinal;                     { SizeOf(TSeatenrolIdentity) }
    IPSource: Integer;
    MacSource: Integer;
    IP: array[0..15] of AnsiChar;
    HostName: array[0..23] of AnsiChar; { UTF-8, NUL-terminated }
    Mac: array[0..5] of Byte;
    Reserved: array[0..1] of Byte;
  end;
  PSeatenrolIdentity = ^TSeatenrolIdentity;

  { seatenrol_server: 296 bytes. }
  TSeatenrolServer = packed record
    Port: Integer;
    Enrolled: Integer;
    Credential: array[0..31] of Byte;
    Name: array[0..255] of AnsiChar;    { UTF-8, NUL-terminated }
  end;
  PSeatenrolServer = ^TSeatenrolServer;

  { seatenrol_cancel: opaque; made by seatenrol_cancel_create. }
  PSeatenrolCancel = type Pointer;

  { Called on the enrolling thread with no lock of the library's held. }
  TSeatenrolProgressFn = procedure(Context: Pointer; Stage, Detail, ElapsedMs: Integer); stdcall;
  { Each debugger message as UTF-8, on the thread that made it. }
  TSeatenrolMessageFn = procedure(Context: Pointer; Utf8: PAnsiChar); stdcall;
  { Runs once, after the last call into a replaced message callback. }
  TSeatenrolReleaseFn = procedure(Context: Pointer); stdcall;

  { seatenrol_options: 28 bytes on 32-bit systems, 40 on 64-bit ones; the
    four integers put the pointers where C aligns them. }
  TSeatenrolOptions = packed record
    Size: Cardinal;                 { SizeOf(TSeatenrolOptions) }
    ReplyWaitMs: Integer;           { per address: 0 = 5000; else 1 to 600000 }
    Sends: Integer;                 { requests per address in that wait: 0, 1 = one; at most 8 }
    DeadlineMs: Integer;            { the whole call; 0 = none }
    Cancel: PSeatenrolCancel;       { nil, or from seatenrol_cancel_create }
    Progress: TSeatenrolProgressFn; { nil, or called on the calling thread }
    ProgressContext: Pointer;
  end;
  PSeatenrolOptions = ^TSeatenrolOptions;

const
  SeatenrolOptionsSize = 16 + 3 * SizeOf(Pointer);

{$IF (SizeOf(TSeatenrolEnrolment) <> 64) or (SizeOf(TSeatenrolIdentity) <> 60) or (SizeOf(TSeatenrolServer) <> 296) or (SizeOf(TSeatenrolOptions) <> SeatenrolOptionsSize)}
  {$MESSAGE ERROR 'a seatenrol record does not have the library''s layout'}
{$IFEND}

{ Enrolling. Secret points to the venue's 32 bytes; Enrolment may be nil. }
function seatenrol_enrol(VenueId: PAnsiChar; Secret: PByte; Server: PAnsiChar; Port: Integer;
  Enrolment: PSeatenrolEnrolment): Integer; stdcall; external SeatenrolLibrary;
{ Options nil is seatenrol_enrol exactly. }
function seatenrol_enrol_with(VenueId: PAnsiChar; Secret: PByte; Server: PAnsiChar;
  Port: Integer; Options: PSeatenrolOptions; Enrolment: PSeatenrolEnrolment): Integer; stdcall;
  external SeatenrolLibrary;
function seatenrol_last_outcome: Integer; stdcall; external SeatenrolLibrary;
function seatenrol_last_system_error: Integer; stdcall; external SeatenrolLibrary;
function seatenrol_outcome_text(Outcome: Integer): PAnsiChar; stdcall; external SeatenrolLibrary;

{ Cancelling: request from any thread, any time; destroy once no call uses it. }
function seatenrol_cancel_create: PSeatenrolCancel; stdcall; external SeatenrolLibrary;
function seatenrol_cancel_request(Cancel: PSeatenrolCancel): Integer; stdcall;
  external SeatenrolLibrary;
procedure seatenrol_cancel_destroy(Cancel: PSeatenrolCancel); stdcall; external SeatenrolLibrary;

{ The seat's identity. }
function seatenrol_get_identity(Identity: PSeatenrolIdentity): Integer; stdcall;
  external SeatenrolLibrary;

{ The stored server list. Servers may be nil with a Capacity of 0; Source may be nil. }
function seatenrol_list_servers(Servers: PSeatenrolServer; Capacity: Integer; var Count: Integer;
  Source: PInteger): Integer; stdcall; external SeatenrolLibrary;
function seatenrol_forget_server(Name: PAnsiChar; Port: Integer): Integer; stdcall;
  external SeatenrolLibrary;
function seatenrol_forget_all: Integer; stdcall; external SeatenrolLibrary;
function seatenrol_store_path(Buffer: PAnsiChar; Size: Integer; Needed: PInteger): Integer;
  stdcall; external SeatenrolLibrary;

{ The folders of the list and of the log, from the next call on; nil restores the default. }
function seatenrol_set_store_directory(Directory: PAnsiChar): Integer; stdcall;
  external SeatenrolLibrary;
function seatenrol_set_log_directory(Directory: PAnsiChar): Integer; stdcall;
  external SeatenrolLibrary;

{ Messages: Fn nil clears; Release, when given, runs once the replaced callback is done. }
function seatenrol_set_message_callback(Fn: TSeatenrolMessageFn; Context: Pointer;
  Release: TSeatenrolReleaseFn): Integer; stdcall; external SeatenrolLibrary;

function seatenrol_version: PAnsiChar; stdcall; external SeatenrolLibrary;

implementation

end.
