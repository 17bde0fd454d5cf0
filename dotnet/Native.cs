// The C interface of the library (<ssmsg/c_api.h>) as the runtime calls it: its structs laid out
// as the header declares them, the handles that free what the library hands out, and the
// functions themselves. size_t is UIntPtr, a pointer IntPtr; texts go in as NUL-terminated UTF-8
// byte arrays (see Utf8).
using System;
using System.Runtime.InteropServices;

namespace Ssmsg
{
    [StructLayout(LayoutKind.Sequential)]
    internal struct NativeStrings
    {
        public UIntPtr Count;
        public IntPtr Items;
        public IntPtr Lengths;
    }

    [StructLayout(LayoutKind.Sequential)]
    internal struct NativeOrigin
    {
        public int InterfaceId;
        public int Node;
        public int Task;
    }

    [StructLayout(LayoutKind.Sequential)]
    internal struct NativeSettings
    {
        public NativeStrings Messages;
        public IntPtr Origins;
        public UIntPtr FailureCount;
        public IntPtr Failures;
    }

    [StructLayout(LayoutKind.Sequential)]
    internal struct NativeDiff
    {
        public NativeSettings Settings;
        public NativeStrings Warnings;
        public UIntPtr ControllersChanged;
        public UIntPtr MessagesWritten;
        public UIntPtr MessagesFull;
    }

    [StructLayout(LayoutKind.Sequential)]
    internal struct NativeDecodeError
    {
        public UIntPtr Column;
        public IntPtr Reason;
    }

    [StructLayout(LayoutKind.Sequential)]
    internal struct NativeTime
    {
        public int Year;
        public int Month;
        public int Day;
        public int Hour;
        public int Minute;
        public int Second;
    }

    [StructLayout(LayoutKind.Sequential)]
    internal struct NativeOptions
    {
        public int ByInterface;
        public int InterfaceId;
        public int ByNode;
        public int Node;
        public IntPtr Tasks;
        public UIntPtr TaskCount;
        public IntPtr Time;
        public uint Jobs;
    }

    /// <summary>Something the library handed out, freed by its own free function once no call
    /// uses it any more (a call in progress on another thread keeps it alive).</summary>
    internal abstract class LibraryHandle : SafeHandle
    {
        protected LibraryHandle() : base(IntPtr.Zero, true)
        {
        }

        public override bool IsInvalid => handle == IntPtr.Zero;

        /// <summary>The struct the handle points to, read while the handle is alive.</summary>
        internal T Read<T>()
            where T : struct
        {
            if (IsInvalid)
                throw new SsmsgException("the library gave no result", Status.InternalError);
            return Marshal.PtrToStructure<T>(handle);
        }
    }

    internal sealed class SiteHandle : LibraryHandle
    {
        protected override bool ReleaseHandle()
        {
            NativeMethods.ssmsg_site_free(handle);
            return true;
        }
    }

    internal sealed class ImportHandle : LibraryHandle
    {
        protected override bool ReleaseHandle()
        {
            NativeMethods.ssmsg_import_free(handle);
            return true;
        }
    }

    internal sealed class StringsHandle : LibraryHandle
    {
        protected override bool ReleaseHandle()
        {
            NativeMethods.ssmsg_strings_free(handle);
            return true;
        }
    }

    internal sealed class SettingsHandle : LibraryHandle
    {
        protected override bool ReleaseHandle()
        {
            NativeMethods.ssmsg_settings_free(handle);
            return true;
        }
    }

    internal sealed class DiffHandle : LibraryHandle
    {
        protected override bool ReleaseHandle()
        {
            NativeMethods.ssmsg_diff_free(handle);
            return true;
        }
    }

    internal sealed class DecodeErrorHandle : LibraryHandle
    {
        protected override bool ReleaseHandle()
        {
            NativeMethods.ssmsg_decode_error_free(handle);
            return true;
        }
    }

    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    internal delegate int MessageCallback(IntPtr context, IntPtr origin, IntPtr text,
                                          UIntPtr length);

    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    internal delegate int ReportCallback(IntPtr context, IntPtr page, IntPtr text, UIntPtr length);

    internal static class NativeMethods
    {
        // ssmsg.dll on Windows; elsewhere the runtime's own naming finds the shared library
        // (Ssmsg.dll.config maps the name to the library's soname where the runtime reads it).
        private const string Library = "ssmsg";

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern IntPtr ssmsg_status_text(int status);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern IntPtr ssmsg_version();

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern void ssmsg_strings_free(IntPtr strings);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_site_load(byte[] path, out SiteHandle site,
                                                      out StringsHandle errors);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_site_load_text(byte[] text, UIntPtr length, byte[] name,
                                                           out SiteHandle site,
                                                           out StringsHandle errors);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern void ssmsg_site_free(IntPtr site);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_site_name(SiteHandle site, out IntPtr name);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_site_controller_count(SiteHandle site,
                                                                  out UIntPtr count);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_site_controller(SiteHandle site, UIntPtr index,
                                                            out int interfaceId, out int node);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_site_warnings(SiteHandle site,
                                                          out StringsHandle warnings);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_site_settings(SiteHandle site,
                                                          ref NativeOptions options,
                                                          out SettingsHandle result);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern void ssmsg_settings_free(IntPtr settings);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_site_settings_each(SiteHandle site,
                                                               ref NativeOptions options,
                                                               MessageCallback onMessage,
                                                               IntPtr context,
                                                               out SettingsHandle failures);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_task_table(out StringsHandle sends);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_site_report(SiteHandle site, SiteHandle oldSite,
                                                        ref NativeOptions options, int pages,
                                                        ReportCallback onPiece, IntPtr context);

        // The same without a site to compare with (a SafeHandle cannot be NULL).
        [DllImport(Library, EntryPoint = "ssmsg_site_report",
                   CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_site_report_alone(SiteHandle site, IntPtr noSite,
                                                              ref NativeOptions options, int pages,
                                                              ReportCallback onPiece,
                                                              IntPtr context);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_site_diff(SiteHandle oldSite, SiteHandle newSite,
                                                      ref NativeOptions options,
                                                      out DiffHandle result);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern void ssmsg_diff_free(IntPtr diff);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_decode(byte[] text, UIntPtr length,
                                                   out StringsHandle json,
                                                   out DecodeErrorHandle error);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern void ssmsg_decode_error_free(IntPtr error);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_import_new(SiteHandle enumsFrom,
                                                       out ImportHandle import);

        // The same without a site whose enumeration texts are read back.
        [DllImport(Library, EntryPoint = "ssmsg_import_new",
                   CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_import_new_alone(IntPtr noSite,
                                                             out ImportHandle import);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_import_add_line(ImportHandle import, byte[] text,
                                                            UIntPtr length, byte[] source,
                                                            UIntPtr line);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_import_site(ImportHandle import, byte[] name,
                                                        out SiteHandle site);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_import_write(ImportHandle import,
                                                         out StringsHandle siteText);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_import_errors(ImportHandle import,
                                                          out StringsHandle errors);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_import_notes(ImportHandle import,
                                                         out StringsHandle notes);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern void ssmsg_import_free(IntPtr import);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_interface_start(int interfaceId, int mainInterface,
                                                            byte[] ipAddress, int ipPort,
                                                            out StringsHandle messages);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_interface_stop(int interfaceId,
                                                           out StringsHandle messages);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_interface_set_nodes(int interfaceId, uint[] add,
                                                                UIntPtr addCount, uint[] timeouts,
                                                                UIntPtr timeoutCount, uint[] remove,
                                                                UIntPtr removeCount,
                                                                out StringsHandle messages);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_interface_poll(int interfaceId, uint[] start,
                                                           UIntPtr startCount, uint[] stop,
                                                           UIntPtr stopCount,
                                                           out StringsHandle messages);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern Status ssmsg_ask_settings(int interfaceId, int node,
                                                         out StringsHandle messages);
    }
}
