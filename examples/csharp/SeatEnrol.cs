// seatenrol's C interface from C#: the P/Invoke declarations, the
// structures with their fixed layouts, an enrolment that a CancellationToken
// cancels, and a few conveniences for the texts.
//
// The functions are __stdcall on 32-bit Windows, which is P/Invoke's default
// there; elsewhere the runtime ignores the convention. Windows loads
// seatenrol.dll from beside the program; Mono on Linux looks for
// libseatenrol.so along LD_LIBRARY_PATH (or as a <dllmap> in the program's
// .config names it).
using System;
using System.Runtime.InteropServices;
using System.Text;
using System.Threading;

namespace SeatEnrol
{
    public enum Result
    {
        Ok = 0,
        Refused = 1,
        NoAnswer = 2,
        PortUnreachable = 3,
        Unresolved = 4,
        UnusableReply = 5,
        NotSent = 6,
        NoIdentity = 7,
        StoreFailed = 8,
        StoreLocked = 9,
        BadArgument = 10,
        NoMemory = 11,
        NetworkNotStarted = 12,
        NotFound = 13,
        Cancelled = 14,
        TimedOut = 15,
    }

    // What an enrolment's progress callback is told, in order.
    public enum Stage
    {
        Resolved = 1,  // detail: how many addresses the name gave
        Sent = 2,      // detail: the request's number for this address, 1 up
        Reply = 3,     // detail: the server's error number
        Storing = 4,   // detail: 0
        Done = 5,      // detail: the outcome
    }

    // seatenrol_enrolment: 64 bytes. A caller built before SystemError
    // passes Size 60 and gets the fields before it.
    [StructLayout(LayoutKind.Sequential, CharSet = CharSet.Ansi)]
    public struct Enrolment
    {
        public uint Size;
        public int Outcome;
        public int ErrorNo;
        [MarshalAs(UnmanagedType.ByValTStr, SizeConst = 16)] public string ServerIP;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 32)] public byte[] Credential;
        public int SystemError;  // errno, GetLastError or WSAGetLastError; else 0
    }

    // Called on the enrolling thread; it must not throw (catch inside).
    [UnmanagedFunctionPointer(CallingConvention.StdCall)]
    public delegate void ProgressCallback(IntPtr context, int stage, int detail, int elapsedMs);

    // seatenrol_options: 28 bytes in a 32-bit process, 40 in a 64-bit one.
    [StructLayout(LayoutKind.Sequential)]
    public struct Options
    {
        public uint Size;                  // Marshal.SizeOf(typeof(Options))
        public int ReplyWaitMs;            // per address: 0 = 5000; else 1 to 600000
        public int Sends;                  // requests per address in that wait: 0, 1 = one; at most 8
        public int DeadlineMs;             // the whole call; 0 = none
        public IntPtr Cancel;              // IntPtr.Zero, or from seatenrol_cancel_create
        public ProgressCallback Progress;  // null, or called on the calling thread
        public IntPtr ProgressContext;
    }

    // seatenrol_identity: 60 bytes. The host name is UTF-8 bytes.
    [StructLayout(LayoutKind.Sequential, CharSet = CharSet.Ansi)]
    public struct Identity
    {
        public uint Size;
        public int IPSource;
        public int MacSource;
        [MarshalAs(UnmanagedType.ByValTStr, SizeConst = 16)] public string IP;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 24)] public byte[] HostName;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 6)] public byte[] Mac;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 2)] public byte[] Reserved;
    }

    // seatenrol_server: 296 bytes. The name is UTF-8 bytes.
    [StructLayout(LayoutKind.Sequential)]
    public struct Server
    {
        public int Port;
        public int Enrolled;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 32)] public byte[] Credential;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 256)] public byte[] Name;
    }

    public static class Native
    {
        const string Library = "seatenrol";
        const CallingConvention Call = CallingConvention.StdCall;

        // Texts go in as NUL-terminated UTF-8 bytes (Utf8z): the marshaller's
        // own string conversion would use the Windows code page instead.
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int seatenrol_enrol(byte[] venueId, byte[] secret, byte[] server,
                                                 int port, ref Enrolment result);

        // result may be NULL in C: this overload takes IntPtr.Zero there.
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int seatenrol_enrol(byte[] venueId, byte[] secret, byte[] server,
                                                 int port, IntPtr result);

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int seatenrol_enrol_with(byte[] venueId, byte[] secret, byte[] server,
                                                      int port, ref Options options,
                                                      ref Enrolment result);

        // options and result may be NULL in C: IntPtr.Zero here.
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int seatenrol_enrol_with(byte[] venueId, byte[] secret, byte[] server,
                                                      int port, IntPtr options, IntPtr result);

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern IntPtr seatenrol_cancel_create();

        // Any thread, any time.
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int seatenrol_cancel_request(IntPtr cancel);

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern void seatenrol_cancel_destroy(IntPtr cancel);

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int seatenrol_last_outcome();

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int seatenrol_last_system_error();

        // Static texts: IntPtr, so the marshaller never frees them.
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern IntPtr seatenrol_outcome_text(int outcome);

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int seatenrol_get_identity(ref Identity identity);

        // [Out]: an array of structures that hold arrays is copied back only when asked.
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int seatenrol_list_servers([In, Out] Server[] servers, int capacity,
                                                        out int count, out int source);

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int seatenrol_forget_server(byte[] name, int port);

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int seatenrol_forget_all();

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int seatenrol_store_path(byte[] buffer, int size, out int needed);

        // An existing folder as UTF-8 bytes (Utf8z), or null for the default.
        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int seatenrol_set_store_directory(byte[] directory);

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern int seatenrol_set_log_directory(byte[] directory);

        [DllImport(Library, CallingConvention = Call, ExactSpelling = true)]
        public static extern IntPtr seatenrol_version();

        // The library never starts Winsock; a Windows host does, once.
        [DllImport("ws2_32.dll", CallingConvention = Call, ExactSpelling = true)]
        static extern int WSAStartup(ushort version, byte[] data);

        public static void StartWinsockOnWindows()
        {
            if (Environment.OSVersion.Platform == PlatformID.Win32NT)
                WSAStartup(0x0202, new byte[512]);  // room for either WSADATA
        }

        public static byte[] Utf8z(string text)
        {
            return text == null ? null : Encoding.UTF8.GetBytes(text + "\0");
        }

        public static string FromUtf8z(byte[] bytes)
        {
            int end = Array.IndexOf(bytes, (byte)0);
            return Encoding.UTF8.GetString(bytes, 0, end < 0 ? bytes.Length : end);
        }

        public static string Text(IntPtr utf8)
        {
            int length = 0;
            while (Marshal.ReadByte(utf8, length) != 0) ++length;
            byte[] bytes = new byte[length];
            Marshal.Copy(utf8, bytes, 0, length);
            return Encoding.UTF8.GetString(bytes);
        }

        public static Result Enrol(string venueId, byte[] secret, string server, int port,
                                   out Enrolment result)
        {
            if (secret == null || secret.Length != 32)
                throw new ArgumentException("the venue's secret is 32 bytes");
            result = new Enrolment { Size = (uint)Marshal.SizeOf(typeof(Enrolment)) };
            return (Result)seatenrol_enrol(Utf8z(venueId), secret, Utf8z(server), port, ref result);
        }

        // An enrolment with the caller's limits (0: the library's defaults)
        // that token cancels: the call then returns Result.Cancelled within
        // 100 ms, nothing stored. It blocks: call it from a worker thread
        // (Task.Run) in a program with a user interface.
        public static Result Enrol(string venueId, byte[] secret, string server, int port,
                                   int replyWaitMs, int sends, int deadlineMs,
                                   CancellationToken token, ProgressCallback progress,
                                   out Enrolment result)
        {
            if (secret == null || secret.Length != 32)
                throw new ArgumentException("the venue's secret is 32 bytes");
            IntPtr cancel = seatenrol_cancel_create();
            if (cancel == IntPtr.Zero) throw new OutOfMemoryException("seatenrol_cancel_create");
            try
            {
                // Disposing the registration waits for a callback under way,
                // so the handle outlives every request made of it.
                using (token.Register(() => seatenrol_cancel_request(cancel)))
                {
                    var options = new Options
                    {
                        Size = (uint)Marshal.SizeOf(typeof(Options)),
                        ReplyWaitMs = replyWaitMs,
                        Sends = sends,
                        DeadlineMs = deadlineMs,
                        Cancel = cancel,
                        Progress = progress,
                    };
                    result = new Enrolment { Size = (uint)Marshal.SizeOf(typeof(Enrolment)) };
                    int outcome = seatenrol_enrol_with(Utf8z(venueId), secret, Utf8z(server), port,
                                                       ref options, ref result);
                    GC.KeepAlive(progress);
                    return (Result)outcome;
                }
            }
            finally
            {
                seatenrol_cancel_destroy(cancel);
            }
        }

        public static Server[] ListServers(out Result result)
        {
            int count, source;
            result = (Result)seatenrol_list_servers(null, 0, out count, out source);
            if (result != Result.Ok) return new Server[0];
            // One more than counted, in case an enrolment adds one between.
            Server[] servers = new Server[count + 1];
            result = (Result)seatenrol_list_servers(servers, servers.Length, out count, out source);
            Array.Resize(ref servers, result == Result.Ok ? Math.Min(count, servers.Length) : 0);
            return servers;
        }

        // Where the stored server list and the log go from the next call on;
        // null restores the default. BadArgument for a folder that does not exist.
        public static Result SetStoreDirectory(string folder)
        {
            return (Result)seatenrol_set_store_directory(Utf8z(folder));
        }

        public static Result SetLogDirectory(string folder)
        {
            return (Result)seatenrol_set_log_directory(Utf8z(folder));
        }

        public static string StorePath()
        {
            int needed;
            seatenrol_store_path(null, 0, out needed);
            byte[] buffer = new byte[Math.Max(needed, 1)];
            return seatenrol_store_path(buffer, buffer.Length, out needed) == 0
                ? FromUtf8z(buffer) : null;
        }
    }
}
