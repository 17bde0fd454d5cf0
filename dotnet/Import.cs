// Settings messages read back into the site that makes them.
using System;
using System.Collections.Generic;

namespace Ssmsg
{
    /// <summary>A site made from settings messages, applied line by line in order the way
    /// controllers take them: given the messages that Site.Settings made for tasks without the
    /// clock, the site makes exactly those messages again. Add the lines, then take the site
    /// (ToSite) or its file's text (Write), once. Interface messages, the request for settings
    /// and the clock carry no configuration and are skipped (Notes says so). One thread at a
    /// time.</summary>
    public sealed class Import : IDisposable
    {
        private readonly ImportHandle handle;

        /// <summary>A new import. The enumeration texts of `enumsFrom`, if given, are read back
        /// too and written into the site file; it is read here only.</summary>
        public Import(Site enumsFrom = null)
        {
            Status status = enumsFrom == null
                                ? NativeMethods.ssmsg_import_new_alone(IntPtr.Zero, out handle)
                                : NativeMethods.ssmsg_import_new(enumsFrom.Open(), out handle);
            if (status != Status.Ok)
                handle.Dispose();
            SsmsgException.Check(status, "Import");
        }

        /// <summary>Frees the import. Disposing twice does nothing; any other use afterwards
        /// throws ObjectDisposedException.</summary>
        public void Dispose()
        {
            handle.Dispose();
        }

        private ImportHandle Open()
        {
            if (handle.IsClosed)
                throw new ObjectDisposedException("Import", "the import is disposed");
            return handle;
        }

        /// <summary>Applies line `line` (from 1) of the stream `source` (null: "&lt;messages&gt;"):
        /// one message without its line end; a line of nothing but white space is skipped.
        /// Returns false when the line is not a message or cannot be applied (Errors says why);
        /// the next line may still be added.</summary>
        public bool AddLine(string text, long line, string source = null)
        {
            int length;
            byte[] bytes = Utf8.Bytes(text, "text", out length);
            return Add(bytes, length, line, source);
        }

        /// <summary>As AddLine, for the bytes of the message as sent (Message.Bytes): a name's
        /// piece may end inside a character.</summary>
        public bool AddLine(byte[] text, long line, string source = null)
        {
            return Add(Utf8.Bytes(text, "text"), text.Length, line, source);
        }

        private bool Add(byte[] bytes, int length, long line, string source)
        {
            if (line < 1)
                throw new ArgumentOutOfRangeException("line", line, "lines count from 1");
            Status status = NativeMethods.ssmsg_import_add_line(
                Open(), bytes, new UIntPtr((uint)length), Utf8.TerminatedOrNull(source, "source"),
                new UIntPtr((ulong)line));
            if (status == Status.Failed)
                return false;
            SsmsgException.Check(status, "Import.AddLine");
            return true;
        }

        internal void AddLines(IEnumerable<string> lines, string source)
        {
            if (lines == null)
                throw new ArgumentNullException("lines");
            long number = 0;
            foreach (string line in lines)
                AddLine(line, ++number, source);
        }

        /// <summary>The site that the lines make, named `name` (null: "&lt;messages&gt;"), as
        /// Site.Load would give its site file. Throws MessagesException with every bad
        /// line.</summary>
        public Site ToSite(string name = null)
        {
            SiteHandle site;
            Status status = NativeMethods.ssmsg_import_site(
                Open(), Utf8.TerminatedOrNull(name, "name"), out site);
            if (status != Status.Ok)
                site.Dispose();
            ThrowErrors(status, "Import.ToSite");
            return Site.Adopt(site);
        }

        /// <summary>The text of the site file that the lines make. Throws MessagesException with
        /// every bad line (also a name that is not valid UTF-8, which a site file cannot
        /// hold).</summary>
        public string Write()
        {
            StringsHandle text;
            Status status = NativeMethods.ssmsg_import_write(Open(), out text);
            string[] texts = Utf8.Take(text);
            ThrowErrors(status, "Import.Write");
            return texts[0];
        }

        /// <summary>What was wrong so far, one line each.</summary>
        public IReadOnlyList<string> Errors =>
            Lines(NativeMethods.ssmsg_import_errors, "Import.Errors");

        /// <summary>One line per kind of message skipped, e.g. "skipped 3 SystemData SetRTC
        /// messages, which carry no configuration".</summary>
        public IReadOnlyList<string> Notes =>
            Lines(NativeMethods.ssmsg_import_notes, "Import.Notes");

        private delegate Status LinesFunction(ImportHandle import, out StringsHandle lines);

        private IReadOnlyList<string> Lines(LinesFunction function, string what)
        {
            StringsHandle lines;
            Status status = function(Open(), out lines);
            string[] texts = Utf8.Take(lines);
            SsmsgException.Check(status, what);
            return Utf8.ReadOnly(texts);
        }

        private void ThrowErrors(Status status, string what)
        {
            if (status == Status.Failed)
                throw new MessagesException(Errors);
            SsmsgException.Check(status, what);
        }
    }
}
