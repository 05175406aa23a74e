// seatenrol-check ENROL_SERVER FOLDER: enrols through the C interface with
// enrol-server on 127.0.0.1 (accepting, then refusing a wrong secret, then
// silent, then cancelled by a CancellationToken while it waits), at a closed
// port, then lists and forgets; one line per check.
// SEATENROL_CONFIG_DIR should name a folder of its own. Exit status 0 when
// every check held, 1 when one did not, 77 when this host has no identity.
using System;
using System.Diagnostics;
using System.IO;
using System.Linq;
using System.Net;
using System.Net.Sockets;
using System.Runtime.InteropServices;
using System.Text.RegularExpressions;
using System.Threading;
using SeatEnrol;

static class Check
{
    const string Venue = "440106123456";
    static int failures;

    static void Expect(bool held, string what)
    {
        Console.WriteLine((held ? "ok: " : "FAILED: ") + what);
        if (!held) ++failures;
    }

    // enrol-server on a port of its own; the port is 0 when it did not start.
    static Process StartServer(string serverPath, string venues, string flags, out int port)
    {
        var start = new ProcessStartInfo(serverPath, "--venues \"" + venues + "\" --port 0 " + flags)
        {
            UseShellExecute = false,
            RedirectStandardOutput = true,
        };
        Process process = Process.Start(start);
        var line = process.StandardOutput.ReadLineAsync();
        Match found = line.Wait(5000) && line.Result != null
            ? Regex.Match(line.Result, "\"port\":(\\d+)") : Match.Empty;
        port = found.Success ? int.Parse(found.Groups[1].Value) : 0;
        return process;
    }

    static int ClosedPort()
    {
        using (var probe = new UdpClient(new IPEndPoint(IPAddress.Loopback, 0)))
            return ((IPEndPoint)probe.Client.LocalEndPoint).Port;
    }

    static int Main(string[] args)
    {
        Native.StartWinsockOnWindows();
        Expect(Marshal.SizeOf(typeof(Enrolment)) == 64 && Marshal.SizeOf(typeof(Identity)) == 60 &&
               Marshal.SizeOf(typeof(Server)) == 296 &&
               Marshal.SizeOf(typeof(Options)) == 16 + 3 * IntPtr.Size,
               "the structures are 64, 60, 296 and " + (16 + 3 * IntPtr.Size) + " bytes");
        Console.WriteLine("seatenrol " + Native.Text(Native.seatenrol_version()));
        var seat = new Identity { Size = (uint)Marshal.SizeOf(typeof(Identity)) };
        if ((Result)Native.seatenrol_get_identity(ref seat) != Result.Ok)
        {
            Console.WriteLine("skipped: this host has no identity to enrol with");
            return 77;
        }
        Console.WriteLine("seat: " + seat.IP + " " + BitConverter.ToString(seat.Mac) + " " +
                          Native.FromUtf8z(seat.HostName));

        byte[] secret = Enumerable.Range(0, 32).Select(i => (byte)i).ToArray();
        byte[] wrong = Enumerable.Range(1, 32).Select(i => (byte)i).ToArray();
        string venues = Path.Combine(args[1], "venues.txt");
        File.WriteAllText(venues, Venue + " " + BitConverter.ToString(secret).Replace("-", "") + "\n");
        int port, silentPort;
        Process server = StartServer(args[0], venues, "", out port);
        Process silent = StartServer(args[0], venues, "--drop", out silentPort);
        try
        {
            Expect(port != 0 && silentPort != 0, "enrol-server started");
            Enrolment done;
            Result result = Native.Enrol(Venue, secret, "127.0.0.1", port, out done);
            Expect(result == Result.Ok && done.Outcome == 0 && done.ServerIP == "127.0.0.1" &&
                   done.Credential.Any(b => b != 0), "accepted: " + result);
            byte[] granted = done.Credential;

            result = Native.Enrol(Venue, wrong, "127.0.0.1", port, out done);
            Expect(result == Result.Refused && done.ErrorNo == -4 &&
                   (Result)Native.seatenrol_last_outcome() == Result.Refused,
                   "a wrong secret refused: " + result + " " + done.ErrorNo);
            result = Native.Enrol(Venue, secret, "127.0.0.1", silentPort, out done);
            Expect(result == Result.NoAnswer, "a silent server: " + result);
            // A token cancelled while the enrolment waits ends it at once.
            var stopwatch = Stopwatch.StartNew();
            int sent = 0;
            using (var source = new CancellationTokenSource())
            {
                source.CancelAfter(300);
                result = Native.Enrol(Venue, secret, "127.0.0.1", silentPort, 30000, 0, 0,
                                      source.Token, (context, stage, detail, elapsedMs) =>
                                      {
                                          if (stage == (int)Stage.Sent) ++sent;
                                      }, out done);
            }
            long took = stopwatch.ElapsedMilliseconds;
            // The design's bound is 300 ms plus 100; a loaded test machine gets more.
            Expect(result == Result.Cancelled && done.Outcome == (int)Result.Cancelled && sent == 1 &&
                   took >= 250 && took < 2000,
                   "cancelled by its token: " + result + " after " + took + " ms");
            // A NULL result, as IntPtr.Zero; port 0 is refused before anything is sent.
            Expect((Result)Native.seatenrol_enrol(Native.Utf8z(Venue), secret,
                                                  Native.Utf8z("127.0.0.1"), 0, IntPtr.Zero) ==
                   Result.BadArgument, "a NULL result passed as IntPtr.Zero");
            result = Native.Enrol(Venue, secret, "127.0.0.1", ClosedPort(), out done);
            Expect(result == Result.PortUnreachable && done.SystemError != 0 &&
                   done.SystemError == Native.seatenrol_last_system_error(),
                   "a closed port: " + result + ", system error " + done.SystemError);
            Console.WriteLine("  as text: " + Native.Text(Native.seatenrol_outcome_text((int)result)));

            Server[] list = Native.ListServers(out result);
            Expect(result == Result.Ok && list.Length == 1 &&
                   Native.FromUtf8z(list[0].Name) == "127.0.0.1" && list[0].Port == port &&
                   list[0].Enrolled == 1 && list[0].Credential.SequenceEqual(granted),
                   "listed in " + Native.StorePath() + ": " + list.Length + " server(s)");
            Expect(Native.seatenrol_forget_server(Native.Utf8z("127.0.0.1"), port) == 0 &&
                   (Result)Native.seatenrol_forget_server(Native.Utf8z("127.0.0.1"), port) ==
                   Result.NotFound && Native.ListServers(out result).Length == 0,
                   "forgotten, and not found a second time");

            string chosen = Path.Combine(args[1], "chosen");
            Directory.CreateDirectory(chosen);
            Expect(Native.SetStoreDirectory(Path.Combine(args[1], "missing")) == Result.BadArgument &&
                   Native.SetStoreDirectory(chosen) == Result.Ok &&
                   Native.StorePath() == Path.Combine(chosen, "regaddrs.dat") &&
                   Native.SetStoreDirectory(null) == Result.Ok &&
                   Native.StorePath() != Path.Combine(chosen, "regaddrs.dat"),
                   "the store follows the folder chosen");
        }
        finally
        {
            foreach (Process p in new[] { server, silent })
            {
                p.Kill();
                p.WaitForExit();
            }
        }
        return failures == 0 ? 0 : 1;
    }
}
