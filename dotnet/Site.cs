// A checked site: its controllers, warnings, settings messages and report.
using System;
using System.Collections.Generic;
using System.IO;
using System.Runtime.ExceptionServices;

namespace Ssmsg
{
    /// <summary>A checked site file (or site database): its controllers in file order and its
    /// enumeration texts. Read only once loaded: any number of threads may use one site at once.
    /// Dispose frees it; a call still running on another thread keeps it until it
    /// returns.</summary>
    public sealed class Site : IDisposable
    {
        private readonly SiteHandle handle;

        private Site(SiteHandle handle)
        {
            this.handle = handle;
        }

        /// <summary>Reads and checks the site file or database at `path`. Throws SiteException
        /// with every error line of the file (Status SiteInvalid), or the reason it could not be
        /// read (IoError); the lines name the file as `path` spells it.</summary>
        public static Site Load(string path)
        {
            SiteHandle site;
            StringsHandle errors;
            Status status =
                NativeMethods.ssmsg_site_load(Utf8.Terminated(path, "path"), out site, out errors);
            return Loaded(status, site, errors, "Site.Load");
        }

        /// <summary>Checks the site file text `text`; error lines name it `name` (null:
        /// "&lt;text&gt;"). Throws SiteException with every error line.</summary>
        public static Site FromText(string text, string name = null)
        {
            int length;
            byte[] bytes = Utf8.Bytes(text, "text", out length);
            return FromBytes(bytes, length, name);
        }

        /// <summary>As FromText, for the UTF-8 bytes of the text.</summary>
        public static Site FromText(byte[] text, string name = null)
        {
            return FromBytes(Utf8.Bytes(text, "text"), text.Length, name);
        }

        private static Site FromBytes(byte[] bytes, int length, string name)
        {
            SiteHandle site;
            StringsHandle errors;
            Status status = NativeMethods.ssmsg_site_load_text(bytes, new UIntPtr((uint)length),
                                                               Utf8.TerminatedOrNull(name, "name"),
                                                               out site, out errors);
            return Loaded(status, site, errors, "Site.FromText");
        }

        /// <summary>The site that settings messages make (a log of those last sent, say): see
        /// Import. `lines` are the messages in the order sent, one per item, without line ends;
        /// `enumsFrom` a site whose enumeration texts are read back too. Throws MessagesException
        /// with every bad line.</summary>
        public static Site FromMessages(IEnumerable<string> lines, Site enumsFrom = null,
                                        string name = null)
        {
            using (var import = new Import(enumsFrom))
            {
                import.AddLines(lines, name);
                return import.ToSite(name);
            }
        }

        internal static Site Adopt(SiteHandle site)
        {
            return new Site(site);
        }

        private static Site Loaded(Status status, SiteHandle site, StringsHandle errors,
                                   string what)
        {
            string[] lines = Utf8.Take(errors);
            if (status == Status.SiteInvalid || status == Status.IoError)
            {
                site.Dispose();
                throw new SiteException(Utf8.ReadOnly(lines), status);
            }
            if (status != Status.Ok)
                site.Dispose();
            SsmsgException.Check(status, what);
            return new Site(site);
        }

        /// <summary>Frees the site. Disposing twice does nothing; any other use afterwards throws
        /// ObjectDisposedException.</summary>
        public void Dispose()
        {
            handle.Dispose();
        }

        internal SiteHandle Open()
        {
            if (handle.IsClosed)
                throw new ObjectDisposedException("Site", "the site is disposed");
            return handle;
        }

        /// <summary>The name the site was loaded under; errors and warnings name it so.</summary>
        public string Name => ReadName();

        /// <summary>The address of each controller, in file order.</summary>
        public IReadOnlyList<Controller> Controllers => ReadControllers();

        private string ReadName()
        {
            // The text belongs to the site: hold the site until it is read.
            SiteHandle site = Open();
            bool held = false;
            try
            {
                site.DangerousAddRef(ref held);
                IntPtr name;
                SsmsgException.Check(NativeMethods.ssmsg_site_name(site, out name), "Site.Name");
                return Utf8.FromTerminated(name);
            }
            finally
            {
                if (held)
                    site.DangerousRelease();
            }
        }

        private IReadOnlyList<Controller> ReadControllers()
        {
            SiteHandle site = Open();
            UIntPtr count;
            SsmsgException.Check(NativeMethods.ssmsg_site_controller_count(site, out count),
                                 "Site.Controllers");
            var controllers = new Controller[checked((int)count.ToUInt64())];
            for (int i = 0; i < controllers.Length; ++i)
            {
                int interfaceId, node;
                Status status = NativeMethods.ssmsg_site_controller(site, new UIntPtr((uint)i),
                                                                    out interfaceId, out node);
                SsmsgException.Check(status, "Site.Controllers");
                controllers[i] = new Controller(interfaceId, node);
            }
            return Array.AsReadOnly(controllers);
        }

        /// <summary>What a valid site may still get wrong, one line each: enumeration values
        /// without a text, and records beyond a controller's capability count that are never
        /// sent.</summary>
        public IReadOnlyList<string> Warnings()
        {
            StringsHandle warnings;
            Status status = NativeMethods.ssmsg_site_warnings(Open(), out warnings);
            string[] lines = Utf8.Take(warnings);
            SsmsgException.Check(status, "Site.Warnings");
            return Utf8.ReadOnly(lines);
        }

        /// <summary>The settings messages of the site's controllers, controller by controller in
        /// file order and task by task in the order of the options' tasks. Throws SsmsgException
        /// (InvalidArgument) for a task outside 151 to 177 or a node without an interface, (its
        /// Status NoController) for a selection that matches no controller, and TaskException
        /// when a task returned false.</summary>
        public IReadOnlyList<Message> Settings(SettingsOptions options = null)
        {
            SettingsHandle result;
            Status status;
            using (var pinned = new PinnedOptions(options))
            {
                status = NativeMethods.ssmsg_site_settings(Open(), ref pinned.Value, out result);
            }
            using (result)
            {
                if (status != Status.Failed)
                    SsmsgException.Check(status, "Site.Settings" + SettingsOptions.Where(options));
                var settings = result.Read<NativeSettings>();
                var made = Array.AsReadOnly(Message.Read(settings));
                TaskException.ThrowIfAny(made,
                                         Failure.Read(settings.Failures, settings.FailureCount));
                return made;
            }
        }

        /// <summary>As Settings, but hands each message to `onMessage` as soon as it is made, on
        /// the calling thread, instead of keeping them all. `onMessage` returns false to stop the
        /// job: SettingsEach then returns false. An exception thrown by `onMessage` stops the job
        /// and is thrown again once the library has returned.</summary>
        public bool SettingsEach(Func<Message, bool> onMessage, SettingsOptions options = null)
        {
            if (onMessage == null)
                throw new ArgumentNullException("onMessage");
            ExceptionDispatchInfo thrown = null;
            MessageCallback callback = (context, origin, text, length) =>
            {
                try
                {
                    return onMessage(Message.At(origin, text, length)) ? 0 : 1;
                }
                catch (Exception error)
                {
                    thrown = ExceptionDispatchInfo.Capture(error);
                    return 1;
                }
            };
            SettingsHandle failures;
            Status status;
            using (var pinned = new PinnedOptions(options))
            {
                status = NativeMethods.ssmsg_site_settings_each(Open(), ref pinned.Value, callback,
                                                                IntPtr.Zero, out failures);
            }
            GC.KeepAlive(callback);
            using (failures)
            {
                if (thrown != null)
                    thrown.Throw();
                if (status == Status.Stopped)
                    return false;
                if (status != Status.Failed)
                    SsmsgException.Check(status,
                                         "Site.SettingsEach" + SettingsOptions.Where(options));
                var settings = failures.Read<NativeSettings>();
                TaskException.ThrowIfAny(new Message[0],
                                         Failure.Read(settings.Failures, settings.FailureCount));
                return true;
            }
        }

        /// <summary>The HTML report of the site as one page: an overview of the controllers, and
        /// for each its time zones and groups, holidays, records and warnings. The options choose
        /// the controllers and jobs (their tasks and time are not read); `diffFrom`, the site last
        /// sent, marks what changed since and counts the messages its diff sends.</summary>
        public string Report(SettingsOptions options = null, Site diffFrom = null)
        {
            var page = new MemoryStream();
            Report(
                (name, piece) =>
                {
                    page.Write(piece, 0, piece.Length);
                    return true;
                },
                false, options, diffFrom);
            return Utf8.Decode(page.ToArray());
        }

        /// <summary>Writes the report to `onPiece` in pieces, in order, on the calling thread:
        /// the page's name ("index.html", or "controller-K.html" for the K-th controller chosen)
        /// and the piece's UTF-8 bytes. With `pages`, one page per controller, each as soon as it
        /// is made, then the index; otherwise one page. `onPiece` returns false to stop: Report
        /// then returns false. An exception that `onPiece` throws is thrown again once the
        /// library has returned.</summary>
        public bool Report(Func<string, byte[], bool> onPiece, bool pages,
                           SettingsOptions options = null, Site diffFrom = null)
        {
            if (onPiece == null)
                throw new ArgumentNullException("onPiece");
            ExceptionDispatchInfo thrown = null;
            ReportCallback callback = (context, page, text, length) =>
            {
                try
                {
                    return onPiece(Utf8.FromTerminated(page), Utf8.Copy(text, length)) ? 0 : 1;
                }
                catch (Exception error)
                {
                    thrown = ExceptionDispatchInfo.Capture(error);
                    return 1;
                }
            };
            Status status;
            using (var pinned = new PinnedOptions(options))
            {
                status =
                    diffFrom == null
                        ? NativeMethods.ssmsg_site_report_alone(Open(), IntPtr.Zero,
                                                                ref pinned.Value, pages ? 1 : 0,
                                                                callback, IntPtr.Zero)
                        : NativeMethods.ssmsg_site_report(Open(), diffFrom.Open(), ref pinned.Value,
                                                          pages ? 1 : 0, callback, IntPtr.Zero);
            }
            GC.KeepAlive(callback);
            if (thrown != null)
                thrown.Throw();
            if (status == Status.Stopped)
                return false;
            SsmsgException.Check(status, "Site.Report" + SettingsOptions.Where(options));
            return true;
        }
    }
}
