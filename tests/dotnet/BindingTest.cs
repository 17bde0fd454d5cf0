// The C# binding over the library of the build: how its arguments reach the library, texts in
// and out as UTF-8 and by length, its exceptions, callbacks and disposed handles. What the
// messages say is tested in the library and the tool.
//   BindingTest.exe SOURCE_DIR WORK_DIR VERSION     (exit status 0 when every check passed)
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Text;
using Ssmsg;

static class BindingTest
{
    static int failed;
    static string source, work;
    static readonly DateTime GoldenTime = new DateTime(2026, 12, 4, 9, 5, 7);

    static void Check(bool ok, string what)
    {
        if (ok)
            return;
        Console.Error.WriteLine("FAILED: " + what);
        ++failed;
    }

    static void Throws<T>(string what, Action call, Func<T, bool> holds)
        where T : Exception
    {
        try
        {
            call();
            Check(false, what + ": nothing thrown");
        }
        catch (T error)
        {
            Check(holds(error), what + ": " + error.GetType().Name + ": " + error.Message);
        }
        catch (Exception error)
        {
            Check(false, what + ": threw " + error.GetType().Name + ": " + error.Message);
        }
    }

    // JSON written with ' for ".
    static string Q(string text)
    {
        return text.Replace('\'', '"');
    }

    static byte[] Join(IEnumerable<Message> messages)
    {
        return messages.SelectMany(m => m.Bytes.Concat(new byte[] { 10 })).ToArray();
    }

    static SettingsOptions Tasks(params int[] tasks)
    {
        return new SettingsOptions { Tasks = tasks, Time = GoldenTime };
    }

    static SettingsOptions Where(int? interfaceId, int? node, params int[] tasks)
    {
        return new SettingsOptions { Interface = interfaceId, Node = node,
                                     Tasks = tasks.Length > 0 ? tasks : null, Time = GoldenTime };
    }

    // The bytes between <Name> and </Name> of each message, one after the other.
    static byte[] Names(IEnumerable<Message> messages)
    {
        var names = new List<byte>();
        foreach (Message m in messages)
        {
            int from = Find(m.Bytes, "<Name>") + 6;
            names.AddRange(m.Bytes.Skip(from).Take(Find(m.Bytes, "</Name>") - from));
        }
        return names.ToArray();
    }

    static int Find(byte[] bytes, string part)
    {
        byte[] wanted = Encoding.ASCII.GetBytes(part);
        for (int i = 0; i + wanted.Length <= bytes.Length; ++i)
            if (bytes.Skip(i).Take(wanted.Length).SequenceEqual(wanted))
                return i;
        return -1;
    }

    static void OptionsReachTheJob(Site demo)
    {
        var clock = demo.Settings(Where(1, 1, 152));
        Check(
            clock.Count == 1 &&
                Library.Decode(clock[0].Text)
                    .Contains(Q("{'Year':2026,'Month':12,'Day':4,'Hour':9,'Minute':5,'Second':7}")),
            "the time reaches the clock message");
        Check(Join(demo.Settings(Where(1, 2, 162, 161)))
                  .SequenceEqual(Join(demo.Settings(Where(1, 2, 162)))
                                     .Concat(Join(demo.Settings(Where(1, 2, 161))))),
              "tasks run in the order given");
        var chosen = demo.Settings(Where(1, null, 161));
        Check(chosen.All(m => m.Interface == 1 && m.Task == 161) &&
                  chosen.Select(m => m.Node)
                      .Distinct()
                      .SequenceEqual(demo.Controllers.Select(c => c.Node)),
              "messages carry their origins");
        byte[] all = Join(demo.Settings(Tasks(152, 161, 175)));
        var twoJobs = Tasks(152, 161, 175);
        twoJobs.Jobs = 2;
        Check(all.Length > 0 && Join(demo.Settings(twoJobs)).SequenceEqual(all),
              "two jobs give the same bytes");
        var each = new List<Message>();
        Func<Message, bool> keep = m =>
        {
            each.Add(m);
            return true;
        };
        Check(demo.SettingsEach(keep, Tasks(152, 161, 175)) && Join(each).SequenceEqual(all),
              "SettingsEach gives what Settings does");
    }

    static void TextsGoAsUtf8AndComeBackByLength()
    {
        string text =
            Q("{'Enums': {'InputType': {'7': 'Lift'}}, 'Controllers': [{'Interface': 1, " +
              "'Node': 2, 'Inputs': [{'Name': 'Tor zur Tür', 'Type': 7}, " +
              "{'Name': 'a\\u00e9b'}, {'Type': 9}]}]}");
        using (Site site = Site.FromText(text, "Bürö.json"))
        {
            Check(site.Name == "Bürö.json", "the name goes and comes back as UTF-8");
            Check(site.Warnings().SequenceEqual(new[] {
                "Bürö.json: Controllers[0].Inputs[2].Type: InputType value 9 has no text"
            }),
                  "warnings");
            // Names go in pieces of ten bytes: one ends inside the ü, whose bytes stay whole.
            var names = site.Settings(Tasks(162));
            Check(Names(names.Where(m => m.Text.Contains("<Input>1<")))
                      .SequenceEqual(Encoding.UTF8.GetBytes("Tor zur Tür")),
                  "a name's bytes");
            Message two = names.Single(m => m.Text.Contains("<Input>2<"));
            Check(two.Text.Contains("<Name>a\u00e9b</Name>") && Names(new[] { two }).Length == 4,
                  "a name is read by its length in bytes");

            // The bytes of the messages read back make the same site again.
            var sent = site.Settings(Tasks(161, 162));
            using (var import = new Import(site))
            {
                for (int i = 0; i < sent.Count; ++i)
                    import.AddLine(sent[i].Bytes, i + 1);
                import.AddLine(Library.AskSettings(1, 2), sent.Count + 1);
                Check(import.Notes.Count == 1, "the request for settings is skipped with a note");
                using (Site again = import.ToSite("again"))
                    Check(Join(again.Settings(Tasks(161, 162))).SequenceEqual(Join(sent)),
                          "import makes the same messages");
                Throws<SsmsgException>("a line after the site", () => import.AddLine("", 1),
                                       e => e.Status == Status.InvalidArgument);
            }
            var types = sent.Where(m => m.Task == 161).Select(m => m.Text);
            Check(Library.ImportMessages(types, site).Contains(Q("'7': 'Lift'")),
                  "ImportMessages reads back enumeration texts");
        }

        string path = Path.Combine(work, "Büro ü.json");
        File.WriteAllText(path, Q("{'Controllers': [{'Interface': 3, 'Node': 4}]}"));
        using (Site loaded = Site.Load(path)) Check(
            loaded.Name == path && loaded.Controllers.SequenceEqual(new[] { new Controller(3, 4) }),
            "a path that is not ASCII");
    }

    static void BadSiteFilesGiveTheLibrarysLines()
    {
        string folder = Path.Combine(source, "tests", "sites", "bad");
        int files = 0;
        foreach (string file in Directory.GetFiles(folder, "*.json"))
        {
            var expected = File.ReadAllLines(Path.ChangeExtension(file, ".err"))
                               .Select(line => folder + Path.DirectorySeparatorChar + line);
            Throws<SiteException>(file, () => Site.Load(file).Dispose(),
                                  e => e.Status == Status.SiteInvalid &&
                                       e.Errors.SequenceEqual(expected) &&
                                       e.Message == string.Join("\n", expected));
            ++files;
        }
        Check(files > 10, "bad site files in " + folder);
        string missing = Path.Combine(work, "missing.json");
        Throws<SiteException>("a missing file", () => Site.Load(missing),
                              e => e.Status == Status.IoError &&
                                   e.Errors.Single().StartsWith(missing + ": "));
        Throws<SiteException>("a site text", () => Site.FromText(Q("{'Controllers': [{}]}"), "x"),
                              e => e.Errors.Count > 0 &&
                                   e.Errors.All(line => line.StartsWith("x: Controllers[0]")));
        Throws<SiteException>("a control character",
                              () => Site.FromText(Q("{'Controllers': [{'Interface': 1, 'Node': " +
                                                    "2, 'Name': 'a\\u0000b'}]}"), "x"),
                              e => e.Errors.Single().StartsWith(
                                  "x: Controllers[0].Name: the text holds the control character"));
    }

    static void Errors(Site demo)
    {
        // The library judges the values; the exception names the call and carries its text.
        Check(SsmsgException.TextOf(Status.InvalidArgument) == "invalid argument", "status text");
        var library = new[] {
            Tuple.Create((Action)(() => demo.Settings(Where(null, null, 161, 150))),
                         Status.InvalidArgument, "Site.Settings"),
            Tuple.Create((Action)(() => demo.Settings(Where(null, 1))), Status.InvalidArgument,
                         "Site.Settings at node 1"),
            Tuple.Create((Action)(() => demo.Settings(Where(9, null))), Status.NoController,
                         "Site.Settings on interface 9"),
            Tuple.Create((Action)(() => Library.Diff(demo, demo, Where(9, null))),
                         Status.NoController, "Library.Diff on interface 9"),
            Tuple.Create((Action)(() => demo.Report(Where(1, 9))), Status.NoController,
                         "Site.Report on interface 1 at node 9"),
        };
        foreach (var c in library)
            Throws<SsmsgException>(c.Item3, c.Item1,
                                   e => e.Status == c.Item2 &&
                                        e.Message ==
                                            c.Item3 + ": " + SsmsgException.TextOf(c.Item2));

        var failures = new[] {
            Tuple.Create((Action)(() => Library.InterfaceStart(0, "10.0.0.1", 1)),
                         "number 0 is below 1"),
            Tuple.Create((Action)(() => Library.InterfaceStop(-1)), "number -1 is below 1"),
            Tuple.Create((Action)(() => Library.InterfaceSetNodes(1, null, new uint[] { 5 })),
                         "no node to add"),
            Tuple.Create((Action)(() => Library.InterfacePoll(0, new uint[] { 1 })),
                         "number 0 is below 1"),
            Tuple.Create((Action)(() => Library.AskSettings(1, -1)), "node -1 is below 0"),
        };
        foreach (var c in failures)
            Throws<TaskException>(c.Item2, c.Item1,
                                  e => e.Message.Contains(c.Item2) && e.Status == Status.Failed &&
                                       e.Messages.Count == 0);

        // What the binding refuses before the library sees it.
        var arguments = new[] {
            Tuple.Create("no tasks",
                         (Action)(() => demo.Settings(new SettingsOptions { Tasks = new int[0] }))),
            Tuple.Create("a NUL in a path", (Action)(() => Site.Load("a\0b"))),
            Tuple.Create("a lone surrogate", (Action)(() => Site.FromText("{}", "\ud800"))),
            Tuple.Create("no path", (Action)(() => Site.Load(null))),
            Tuple.Create("line 0", (Action)(() => new Import().AddLine("", 0))),
        };
        foreach (var c in arguments)
            Throws<ArgumentException>(c.Item1, c.Item2, e => true);

        string leadingZero = Library.AskSettings(1, 2).Replace("<Node>2", "<Node>02");
        Throws<DecodeException>("decode", () => Library.Decode(leadingZero),
                                e => e.Column == 121 && e.Reason == "\"02\" has a leading zero");
        Throws<MessagesException>(
            "import", () => Library.ImportMessages(new[] { "", "<Command>" }, null, "s.txt"),
            e => e.Errors.SequenceEqual(
                new[] { "s.txt:2:10: expected <InterfaceID> after <Command>" }));
    }

    static void InterfaceArgumentsReachTheMessage()
    {
        var cases = new[] {
            Tuple.Create(Library.InterfaceStart(1, "192.168.0.10", 3001, true),
                         "{'Type':'Main','IP_Address':'192.168.0.10','IP_Port':3001,"),
            Tuple.Create(Library.InterfaceStart(1, "10.0.0.1", 1),
                         "{'Type':'Ordinary','IP_Address':'10.0.0.1','IP_Port':1,"),
            Tuple.Create(Library.InterfaceStop(2),
                         "{'interface':2,'messageType':'Interface','action':'Stop'}"),
            Tuple.Create(Library.InterfaceSetNodes(1, new uint[] { 2, 3 }, new uint[] { 500, 600 },
                                                   new uint[] { 4 }),
                         "{'Add':[2,3],'Timeout':[500,600],'Remove':[4]}"),
            Tuple.Create(Library.InterfacePoll(1, new uint[] { 2, 3 }, new uint[] { 4 }),
                         "{'Start':[2,3],'Stop':[4]}"),
            Tuple.Create(Library.AskSettings(1, 2), "'action':'AskSettings','node':2"),
        };
        foreach (var c in cases)
            Check(Library.Decode(Encoding.UTF8.GetBytes(c.Item1)).Contains(Q(c.Item2)), c.Item2);
    }

    static void DiffGivesItsCountsAndMessages()
    {
        string input = "{'Interface': 1, 'Node': 2, 'Inputs': [{'Name': 'NAME'}]}";
        using (Site old = Site.FromText(Q(
                   "{'Controllers': [" + input.Replace("NAME", "a") +
                   ", {'Interface': 1, 'Node': 3}]}"))) using (Site now =
                                                                   Site.FromText(Q(
                                                                       "{'Controllers': [" +
                                                                       input.Replace("NAME", "b") +
                                                                       "]}")))
        {
            Diff same = Library.Diff(now, now, Tasks(162));
            Check(same.Messages.Count == 0 && same.ControllersChanged == 0 &&
                      same.MessagesFull == 1,
                  "no diff");
            Diff renamed = Library.Diff(old, now, Tasks(162));
            Check(renamed.ControllersChanged == 1 && renamed.MessagesWritten == 1 &&
                      renamed.MessagesFull == 1 && renamed.Messages[0].Task == 162 &&
                      renamed.Messages.Single().Text.Contains("<Name>b</Name>") &&
                      renamed.Warnings.Single().Contains("node 3"),
                  "a renamed input");
        }
    }

    static void CallbacksStopAndRethrow(Site demo)
    {
        int seen = 0;
        Check(!demo.SettingsEach(m => ++seen < 3) && seen == 3, "false stops the job");
        var thrown = new InvalidOperationException("mine");
        Throws<InvalidOperationException>("SettingsEach",
                                          () => demo.SettingsEach(m =>
                                                                  { throw thrown; }),
                                          e => e == thrown);
        Throws<InvalidOperationException>("Report",
                                          () => demo.Report((page, piece) =>
                                                            { throw thrown; },
                                                            true),
                                          e => e == thrown);

        Check(demo.Report().StartsWith("<!DOCTYPE html>"), "a report as one page");
        var pages = new List<string>();
        Func<string, byte[], bool> add = (page, piece) =>
        {
            if (!pages.Contains(page))
                pages.Add(page);
            return true;
        };
        Check(demo.Report(add, true) &&
                  pages.SequenceEqual(
                      new[] { "controller-1.html", "controller-2.html", "index.html" }),
              "a report in pages: " + string.Join(",", pages));
        Check(demo.Report(null, demo).Contains("messages in the diff"), "a report of a diff");
    }

    static void DisposedHandles()
    {
        Site site = Site.FromText(Q("{'Controllers': [{'Interface': 1, 'Node': 2}]}"));
        Site other = Site.FromText(Q("{'Controllers': []}"));
        site.Dispose();
        site.Dispose();
        var uses = new Action[] {
            () => site.Settings(),  () => site.Name.ToString(),
            () => site.Warnings(),  () => Library.Diff(other, site),
            () => new Import(site), () => other.Report(null, site),
        };
        foreach (Action use in uses)
            Throws<ObjectDisposedException>("a disposed site", use, e => true);
        var import = new Import();
        import.Dispose();
        Throws<ObjectDisposedException>("a disposed import", () => import.AddLine("", 1),
                                        e => true);
        other.Dispose();
    }

    static int Main(string[] args)
    {
        source = args[0];
        work = args[1];
        Check(Library.Version == args[2], "version " + Library.Version);
        Check(Library.Tasks.Count == 27 &&
                  Library.Tasks[161] == "InputClearAll, then InputType per input",
              "task table");
        using (Site demo = Site.Load(Path.Combine(source, "site", "demo_site.json")))
        {
            OptionsReachTheJob(demo);
            Errors(demo);
            CallbacksStopAndRethrow(demo);
        }
        TextsGoAsUtf8AndComeBackByLength();
        BadSiteFilesGiveTheLibrarysLines();
        InterfaceArgumentsReachTheMessage();
        DiffGivesItsCountsAndMessages();
        DisposedHandles();
        if (failed == 0)
            Console.WriteLine("every check passed");
        return failed == 0 ? 0 : 1;
    }
}
