// What needs no site: the library's version and task table, the interface messages, reading a
// message back, and the diff of two sites.
using System;
using System.Collections.Generic;
using System.Collections.ObjectModel;

namespace Ssmsg
{
    /// <summary>The calls of the library that need no site.</summary>
    public static class Library
    {
        /// <summary>The first settings task.</summary>
        public const int FirstTask = 151;

        /// <summary>The last settings task.</summary>
        public const int LastTask = 177;

        private static readonly Lazy<IReadOnlyDictionary<int, string>> TaskTable =
            new Lazy<IReadOnlyDictionary<int, string>>(ReadTasks);

        /// <summary>The version of the library that is running, e.g. "0.3.0".</summary>
        public static string Version => Utf8.FromTerminated(NativeMethods.ssmsg_version());

        /// <summary>What each settings task sends, by task number: Tasks[161] is "InputClearAll,
        /// then InputType per input".</summary>
        public static IReadOnlyDictionary<int, string> Tasks => TaskTable.Value;

        private static IReadOnlyDictionary<int, string> ReadTasks()
        {
            StringsHandle sends;
            Status status = NativeMethods.ssmsg_task_table(out sends);
            string[] texts = Utf8.Take(sends);
            SsmsgException.Check(status, "Library.Tasks");
            var table = new Dictionary<int, string>();
            for (int i = 0; i < texts.Length; ++i)
                table.Add(FirstTask + i, texts[i]);
            return new ReadOnlyDictionary<int, string>(table);
        }

        /// <summary>The message that starts interface `interfaceId` (1 or more) at `ipAddress`
        /// and `ipPort`; `main` makes it the main interface.</summary>
        public static string InterfaceStart(int interfaceId, string ipAddress, int ipPort,
                                            bool main = false)
        {
            StringsHandle messages;
            Status status = NativeMethods.ssmsg_interface_start(
                interfaceId, main ? 1 : 0, Utf8.Terminated(ipAddress, "ipAddress"), ipPort,
                out messages);
            return OneMessage(status, messages, "InterfaceStart", BelowOne(interfaceId));
        }

        /// <summary>The message that stops interface `interfaceId` (1 or more).</summary>
        public static string InterfaceStop(int interfaceId)
        {
            StringsHandle messages;
            Status status = NativeMethods.ssmsg_interface_stop(interfaceId, out messages);
            return OneMessage(status, messages, "InterfaceStop", BelowOne(interfaceId));
        }

        /// <summary>The message that tells interface `interfaceId` which nodes to serve: nodes to
        /// `add` with a timeout each in `timeouts`, and nodes to `remove` (any may be null).
        /// TaskException when there is no node to add or remove.</summary>
        public static string InterfaceSetNodes(int interfaceId, uint[] add, uint[] timeouts = null,
                                               uint[] remove = null)
        {
            StringsHandle messages;
            Status status = NativeMethods.ssmsg_interface_set_nodes(
                interfaceId, add, Count(add), timeouts, Count(timeouts), remove, Count(remove),
                out messages);
            string why = IsEmpty(add) && IsEmpty(remove) ? "no node to add or remove"
                                                         : BelowOne(interfaceId);
            return OneMessage(status, messages, "InterfaceSetNodes", why);
        }

        /// <summary>The message that starts polling the nodes `start` and stops polling the
        /// nodes `stop` on interface `interfaceId` (either may be null). TaskException when both
        /// are empty.</summary>
        public static string InterfacePoll(int interfaceId, uint[] start, uint[] stop = null)
        {
            StringsHandle messages;
            Status status = NativeMethods.ssmsg_interface_poll(interfaceId, start, Count(start),
                                                               stop, Count(stop), out messages);
            string why = IsEmpty(start) && IsEmpty(stop) ? "no node to start or stop"
                                                         : BelowOne(interfaceId);
            return OneMessage(status, messages, "InterfacePoll", why);
        }

        /// <summary>The message that asks controller `node` (0 or more) on interface
        /// `interfaceId` (1 or more) to report its settings.</summary>
        public static string AskSettings(int interfaceId, int node)
        {
            StringsHandle messages;
            Status status = NativeMethods.ssmsg_ask_settings(interfaceId, node, out messages);
            string why = interfaceId < 1 ? BelowOne(interfaceId) : "node " + node + " is below 0";
            return OneMessage(status, messages, "AskSettings", why);
        }

        private static UIntPtr Count(uint[] nodes)
        {
            return new UIntPtr(nodes == null ? 0u : (uint)nodes.Length);
        }

        private static bool IsEmpty(uint[] nodes)
        {
            return nodes == null || nodes.Length == 0;
        }

        private static string BelowOne(int interfaceId)
        {
            return "interface number " + interfaceId + " is below 1";
        }

        /// <summary>The one message of an interface operation, or TaskException when it returned
        /// false.</summary>
        private static string OneMessage(Status status, StringsHandle messages, string what,
                                         string why)
        {
            string[] texts = Utf8.Take(messages);
            if (status == Status.Failed)
                throw new TaskException(what + " returned false: " + why, new Message[0],
                                        new Failure[0]);
            SsmsgException.Check(status, what);
            return texts[0];
        }

        /// <summary>The message `message` (one whole message as the library writes it, without a
        /// line end) as the JSON object that `ssmsg decode` writes:
        /// {"interface":1,"messageType":"Inputs","action":"InputType","node":2,"parameters":{...}}.
        /// Throws DecodeException when it is not a message of the library.</summary>
        public static string Decode(string message)
        {
            int length;
            byte[] bytes = Utf8.Bytes(message, "message", out length);
            return Decode(bytes, length);
        }

        /// <summary>As Decode, for the bytes of the message.</summary>
        public static string Decode(byte[] message)
        {
            return Decode(Utf8.Bytes(message, "message"), message.Length);
        }

        private static string Decode(byte[] bytes, int length)
        {
            StringsHandle json;
            DecodeErrorHandle error;
            Status status =
                NativeMethods.ssmsg_decode(bytes, new UIntPtr((uint)length), out json, out error);
            using (error)
            {
                string[] texts = Utf8.Take(json);
                if (status == Status.Failed)
                {
                    var
                        where = error.Read<NativeDecodeError>();
                    throw new DecodeException((long)where.Column.ToUInt64(),
                                              Utf8.FromTerminated(where.Reason));
                }
                SsmsgException.Check(status, "Decode");
                return texts[0];
            }
        }

        /// <summary>The messages that bring the controllers configured from `oldSite` to
        /// `newSite`, matched by interface and node. A controller that `oldSite` lacks gets every
        /// message of its tasks; for one that both have, a task whose messages are equal sends
        /// nothing, a task that clears its list first or sends one message or one name sends all
        /// of its messages, and a task of one message per input, output or reader sends those of
        /// each record that changed or is new. Without tasks in `options`: 151 to 177 without the
        /// clock (152), which is sent only when named. Throws as Site.Settings does (a selection
        /// matches no controller when neither site has one).</summary>
        public static Diff Diff(Site oldSite, Site newSite, SettingsOptions options = null)
        {
            if (oldSite == null)
                throw new ArgumentNullException("oldSite");
            if (newSite == null)
                throw new ArgumentNullException("newSite");
            DiffHandle result;
            Status status;
            using (var pinned = new PinnedOptions(options))
            {
                status = NativeMethods.ssmsg_site_diff(oldSite.Open(), newSite.Open(),
                                                       ref pinned.Value, out result);
            }
            using (result)
            {
                if (status != Status.Failed)
                    SsmsgException.Check(status, "Library.Diff" + SettingsOptions.Where(options));
                var diff = result.Read<NativeDiff>();
                var made = Array.AsReadOnly(Message.Read(diff.Settings));
                TaskException.ThrowIfAny(
                    made, Failure.Read(diff.Settings.Failures, diff.Settings.FailureCount));
                return new Diff(made, Utf8.ReadOnly(Utf8.Texts(diff.Warnings)),
                                (long)diff.ControllersChanged.ToUInt64(),
                                (long)diff.MessagesWritten.ToUInt64(),
                                (long)diff.MessagesFull.ToUInt64());
            }
        }

        /// <summary>The text of a site file that makes the settings messages `lines` again, as
        /// `ssmsg import` writes it: see Import. Throws MessagesException with every bad
        /// line.</summary>
        public static string ImportMessages(IEnumerable<string> lines, Site enumsFrom = null,
                                            string name = null)
        {
            using (var import = new Import(enumsFrom))
            {
                import.AddLines(lines, name);
                return import.Write();
            }
        }
    }
}
