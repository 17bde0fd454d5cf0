// What a call of the library can end with besides success, as .NET exceptions that carry the
// library's own texts: its status, the error lines of a site file or of imported messages, the
// column and reason of a text that is not a message.
using System;
using System.Collections.Generic;
using System.Linq;

namespace Ssmsg
{
    /// <summary>The status of a call of the library.</summary>
    public enum Status
    {
        /// <summary>Done.</summary>
        Ok = 0,
        /// <summary>A value outside its range: a task number, a node without an
        /// interface.</summary>
        InvalidArgument = 1,
        /// <summary>The site file has errors.</summary>
        SiteInvalid = 2,
        /// <summary>The site file could not be read.</summary>
        IoError = 3,
        /// <summary>An operation returned false, or a text is not a message.</summary>
        Failed = 4,
        /// <summary>The selection names no controller of the site.</summary>
        NoController = 5,
        /// <summary>A callback asked to stop.</summary>
        Stopped = 6,
        /// <summary>Memory ran out.</summary>
        OutOfMemory = 7,
        /// <summary>A fault of the library itself.</summary>
        InternalError = 8,
    }

    /// <summary>A call of the library failed; Status says how.</summary>
    public class SsmsgException : Exception
    {
        /// <summary>An exception with the text `message` for a call that ended with
        /// `status`.</summary>
        public SsmsgException(string message, Status status) : base(message)
        {
            Status = status;
        }

        /// <summary>How the call ended.</summary>
        public Status Status { get; private set; }

        /// <summary>The library's text for a status, e.g. "invalid argument".</summary>
        public static string TextOf(Status status)
        {
            return Utf8.FromTerminated(NativeMethods.ssmsg_status_text((int)status));
        }

        /// <summary>Throws the exception of a status other than Ok that the caller does not
        /// handle itself; `what` names the call.</summary>
        internal static void Check(Status status, string what)
        {
            if (status == Status.Ok)
                return;
            string message = what + ": " + TextOf(status);
            switch (status)
            {
            case Status.OutOfMemory:
                throw new OutOfMemoryException(message);
            case Status.SiteInvalid:
            case Status.IoError:
                throw new SiteException(new[] { message }, status);
            default:
                throw new SsmsgException(message, status);
            }
        }
    }

    /// <summary>A site file has errors (Status SiteInvalid) or cannot be read (IoError). Errors
    /// holds every line the library gave, each naming the file.</summary>
    public sealed class SiteException : SsmsgException
    {
        /// <summary>The error lines of a site file, whose loading ended with `status`.</summary>
        public SiteException(IReadOnlyList<string> errors, Status status)
            : base(string.Join("\n", errors), status)
        {
            Errors = errors;
        }

        /// <summary>Every error line, each naming the file.</summary>
        public IReadOnlyList<string> Errors { get; private set; }
    }

    /// <summary>An operation returned false (Status Failed). Messages holds what the call made
    /// all the same, Failures the tasks that returned false (none for an interface
    /// message).</summary>
    public sealed class TaskException : SsmsgException
    {
        /// <summary>The failures of a call and the messages it made all the same.</summary>
        public TaskException(string message, IReadOnlyList<Message> messages,
                             IReadOnlyList<Failure> failures)
            : base(message, Status.Failed)
        {
            Messages = messages;
            Failures = failures;
        }

        /// <summary>What the call made all the same.</summary>
        public IReadOnlyList<Message> Messages { get; private set; }

        /// <summary>The tasks that returned false, in the order they ran.</summary>
        public IReadOnlyList<Failure> Failures { get; private set; }

        internal static void ThrowIfAny(IReadOnlyList<Message> made,
                                        IReadOnlyList<Failure> failures)
        {
            if (failures.Count == 0)
                return;
            var tasks = Library.Tasks;
            string message = string.Join(
                "; ",
                failures.Select(
                    f => string.Format("task {0} ({1}) returned false for interface {2}, node {3}",
                                       f.Task, tasks.ContainsKey(f.Task) ? tasks[f.Task] : "?",
                                       f.Interface, f.Node)));
            throw new TaskException(message, made, failures);
        }
    }

    /// <summary>A text that is not a message of the library (Status Failed): Column (from 1) is
    /// that of its first wrong byte, Reason says why.</summary>
    public sealed class DecodeException : SsmsgException
    {
        /// <summary>A text that is wrong from `column` on, for `reason`.</summary>
        public DecodeException(long column, string reason)
            : base("column " + column + ": " + reason, Status.Failed)
        {
            Column = column;
            Reason = reason;
        }

        /// <summary>The column (from 1) of the first wrong byte.</summary>
        public long Column { get; private set; }

        /// <summary>Why the text is not a message, e.g. "expected &lt;DLan&gt; after
        /// &lt;/Input&gt;".</summary>
        public string Reason { get; private set; }
    }

    /// <summary>Lines that cannot be imported (Status Failed). Errors holds one line each,
    /// "SOURCE:LINE:COLUMN: reason" for a line that is not a message and "SOURCE:LINE: reason"
    /// for one that cannot be applied.</summary>
    public sealed class MessagesException : SsmsgException
    {
        /// <summary>The error lines of an import.</summary>
        public MessagesException(IReadOnlyList<string> errors)
            : base(string.Join("\n", errors), Status.Failed)
        {
            Errors = errors;
        }

        /// <summary>Every error line.</summary>
        public IReadOnlyList<string> Errors { get; private set; }
    }
}
