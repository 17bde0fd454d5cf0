// Prints the input-type messages (task 161) of every controller of a site file, then the
// message that starts polling nodes 1 and 2 on interface 1.
using System;
using System.Collections.Generic;
using System.IO;
using System.Text;
using Ssmsg;

static class SettingsExample
{
    static int Main(string[] args)
    {
        if (args.Length != 1)
            return 2;
        Site site;
        try
        {
            site = Site.Load(args[0]);
        }
        catch (SiteException error)
        {
            foreach (string line in error.Errors)
                Console.Error.WriteLine(line);
            return 2;
        }

        IReadOnlyList<Message> messages;
        string failed = null;
        using (site)
        {
            try
            {
                messages = site.Settings(new SettingsOptions { Tasks = new[] { 161 } });
            }
            catch (TaskException error)
            {
                messages = error.Messages;
                failed = error.Message;
            }
        }

        // A message is bytes: a name's pieces may split a character, so write them as they are.
        using (var output = new BufferedStream(Console.OpenStandardOutput()))
        {
            Action<string> write = text =>
            {
                byte[] bytes = Encoding.UTF8.GetBytes(text);
                output.Write(bytes, 0, bytes.Length);
            };
            foreach (Message message in messages)
            {
                write(message.Interface + " " + message.Node + " " + message.Task + " ");
                output.Write(message.Bytes, 0, message.Bytes.Length);
                write("\n");
            }
            if (failed != null)
            {
                output.Flush();
                Console.Error.WriteLine("settings: " + failed);
                return 1;
            }
            write(Library.InterfacePoll(1, new uint[] { 1, 2 }) + "\n");
        }
        return 0;
    }
}
