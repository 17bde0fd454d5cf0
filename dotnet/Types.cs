// The values that calls take and give: the choice of controllers, tasks and time of a settings
// job, a message with the controller and task it is for, a controller's address, a failed task
// and what a diff makes.
using System;
using System.Collections.Generic;
using System.Runtime.InteropServices;

namespace Ssmsg
{
    /// <summary>What a settings job, a diff or a report covers. The defaults: every controller,
    /// every task 151 to 177 ascending (for a diff, without the clock, 152), the machine's local
    /// time and the calling thread alone.</summary>
    public sealed class SettingsOptions
    {
        /// <summary>Only the controllers on this interface.</summary>
        public int? Interface { get; set; }

        /// <summary>Only the controller at this node (needs Interface).</summary>
        public int? Node { get; set; }

        /// <summary>The tasks, 151 to 177, in the order they run for each controller; null for
        /// every task.</summary>
        public IList<int> Tasks { get; set; }

        /// <summary>The date and time that the clock message (task 152) sends, its fields as they
        /// are; null for the machine's local time when the message is made.</summary>
        public DateTime? Time { get; set; }

        /// <summary>How many threads build controllers at once, the calling one among them (0 or
        /// 1: the calling thread alone). The messages come in the same order whatever the
        /// number.</summary>
        public uint Jobs { get; set; }

        /// <summary>" on interface I at node N" for error texts.</summary>
        internal static string Where(SettingsOptions options)
        {
            if (options == null)
                return "";
            string
                where = options.Interface.HasValue ? " on interface " + options.Interface : "";
            return
                where + (options.Node.HasValue ? " at node " + options.Node : "");
        }
    }

    /// <summary>SettingsOptions as the library reads them, with the arrays they point to pinned
    /// until disposed.</summary>
    internal sealed class PinnedOptions : IDisposable
    {
        internal NativeOptions Value;
        private GCHandle tasks;
        private GCHandle time;

        internal PinnedOptions(SettingsOptions options)
        {
            if (options == null)
                return;
            if (options.Interface.HasValue)
            {
                Value.ByInterface = 1;
                Value.InterfaceId = options.Interface.Value;
            }
            if (options.Node.HasValue)
            {
                Value.ByNode = 1;
                Value.Node = options.Node.Value;
            }
            Value.Jobs = options.Jobs;
            if (options.Tasks != null)
            {
                // To the library no tasks means every task: an empty list is a mistake here.
                if (options.Tasks.Count == 0)
                    throw new ArgumentException("Tasks is empty (null runs every task)", "options");
                var numbers = new int[options.Tasks.Count];
                options.Tasks.CopyTo(numbers, 0);
                tasks = GCHandle.Alloc(numbers, GCHandleType.Pinned);
                Value.Tasks = tasks.AddrOfPinnedObject();
                Value.TaskCount = new UIntPtr((uint)numbers.Length);
            }
            if (options.Time.HasValue)
            {
                DateTime at = options.Time.Value;
                var native = new[] { new NativeTime { Year = at.Year, Month = at.Month,
                                                      Day = at.Day, Hour = at.Hour,
                                                      Minute = at.Minute, Second = at.Second } };
                time = GCHandle.Alloc(native, GCHandleType.Pinned);
                Value.Time = time.AddrOfPinnedObject();
            }
        }

        public void Dispose()
        {
            if (tasks.IsAllocated)
                tasks.Free();
            if (time.IsAllocated)
                time.Free();
        }
    }

    /// <summary>Where a controller is reached: its interface and its node on it.</summary>
    public struct Controller : IEquatable<Controller>
    {
        /// <summary>The controller at `node` on interface `interfaceId`.</summary>
        public Controller(int interfaceId, int node) : this()
        {
            Interface = interfaceId;
            Node = node;
        }

        /// <summary>The controller's interface.</summary>
        public int Interface { get; private set; }

        /// <summary>The controller's node on its interface.</summary>
        public int Node { get; private set; }

        /// <summary>Whether `other` is the same address.</summary>
        public bool Equals(Controller other)
        {
            return Interface == other.Interface && Node == other.Node;
        }

        /// <summary>Whether `other` is a Controller of the same address.</summary>
        public override bool Equals(object other)
        {
            return other is Controller && Equals((Controller)other);
        }

        /// <summary>A hash of the address.</summary>
        public override int GetHashCode()
        {
            return Interface * 65599 + Node;
        }

        /// <summary>"interface I, node N".</summary>
        public override string ToString()
        {
            return "interface " + Interface + ", node " + Node;
        }
    }

    /// <summary>A task that returned false for the controller at Interface and Node.</summary>
    public struct Failure
    {
        internal Failure(NativeOrigin origin) : this()
        {
            Interface = origin.InterfaceId;
            Node = origin.Node;
            Task = origin.Task;
        }

        /// <summary>The controller's interface.</summary>
        public int Interface { get; private set; }

        /// <summary>The controller's node.</summary>
        public int Node { get; private set; }

        /// <summary>The task that returned false, 151 to 177.</summary>
        public int Task { get; private set; }

        internal static Failure[] Read(IntPtr origins, UIntPtr count)
        {
            var failures = new Failure[checked((int)count.ToUInt64())];
            int size = Marshal.SizeOf(typeof(NativeOrigin));
            for (int i = 0; i < failures.Length; ++i)
                failures[i] = new Failure(Marshal.PtrToStructure<NativeOrigin>(origins + i * size));
            return failures;
        }
    }

    /// <summary>A settings message and the controller and task it was made for. Bytes are the
    /// message to transmit; Text is the same as a string, for reading. A name is sent in pieces
    /// of ten bytes, which may split a character: Text then shows U+FFFD where Bytes keep
    /// the byte.</summary>
    public sealed class Message
    {
        private string text;

        /// <summary>The message `bytes` for task `task` of the controller at `node` on
        /// interface `interfaceId`.</summary>
        public Message(int interfaceId, int node, int task, byte[] bytes)
        {
            if (bytes == null)
                throw new ArgumentNullException("bytes");
            Interface = interfaceId;
            Node = node;
            Task = task;
            Bytes = bytes;
        }

        /// <summary>The controller's interface.</summary>
        public int Interface { get; private set; }

        /// <summary>The controller's node.</summary>
        public int Node { get; private set; }

        /// <summary>The task that made the message, 151 to 177.</summary>
        public int Task { get; private set; }

        /// <summary>The message's bytes, to transmit.</summary>
        public byte[] Bytes { get; private set; }

        /// <summary>The message as a string.</summary>
        public string Text => text ?? (text = Utf8.Decode(Bytes));

        /// <summary>Text.</summary>
        public override string ToString()
        {
            return Text;
        }

        /// <summary>The messages of a settings result with their origins.</summary>
        internal static Message[] Read(NativeSettings settings)
        {
            byte[][] texts = Utf8.Read(settings.Messages);
            var made = new Message[texts.Length];
            int size = Marshal.SizeOf(typeof(NativeOrigin));
            for (int i = 0; i < made.Length; ++i)
            {
                var origin = Marshal.PtrToStructure<NativeOrigin>(settings.Origins + i * size);
                made[i] = new Message(origin.InterfaceId, origin.Node, origin.Task, texts[i]);
            }
            return made;
        }

        internal static Message At(IntPtr origin, IntPtr text, UIntPtr length)
        {
            var from = Marshal.PtrToStructure<NativeOrigin>(origin);
            return new Message(from.InterfaceId, from.Node, from.Task, Utf8.Copy(text, length));
        }
    }

    /// <summary>What a diff makes: the messages that bring the controllers from the old site to
    /// the new one, in order; what cannot be sent, one line each; the controllers that were sent
    /// anything; and the messages written against those that the new site's settings would
    /// write with the same tasks.</summary>
    public sealed class Diff
    {
        internal Diff(IReadOnlyList<Message> messages, IReadOnlyList<string> warnings,
                      long controllersChanged, long messagesWritten, long messagesFull)
        {
            Messages = messages;
            Warnings = warnings;
            ControllersChanged = controllersChanged;
            MessagesWritten = messagesWritten;
            MessagesFull = messagesFull;
        }

        /// <summary>The messages to send, controller by controller in the new site's
        /// order.</summary>
        public IReadOnlyList<Message> Messages { get; private set; }

        /// <summary>What cannot be sent: records that no task can withdraw, and controllers
        /// that the new site no longer has.</summary>
        public IReadOnlyList<string> Warnings { get; private set; }

        /// <summary>How many controllers were sent anything.</summary>
        public long ControllersChanged { get; private set; }

        /// <summary>How many messages were written: Messages.Count.</summary>
        public long MessagesWritten { get; private set; }

        /// <summary>How many messages the new site's settings write with the same tasks.</summary>
        public long MessagesFull { get; private set; }
    }
}
