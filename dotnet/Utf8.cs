// Texts between .NET strings and the library's UTF-8 bytes. Going in, a string must be valid
// UTF-16 (a lone surrogate has no UTF-8); coming out, a text is read by its length, since a name
// in a site file may hold any byte, NUL included, and bytes that are not UTF-8 become U+FFFD.
using System;
using System.Collections.Generic;
using System.Runtime.InteropServices;
using System.Text;

namespace Ssmsg
{
    internal static class Utf8
    {
        private static readonly UTF8Encoding Strict = new UTF8Encoding(false, true);
        private static readonly UTF8Encoding Lenient = new UTF8Encoding(false, false);

        /// <summary>`value` as UTF-8 followed by a NUL, for a parameter the library reads up
        /// to its NUL (a path, a name): a NUL inside would cut it short, so it is
        /// refused.</summary>
        internal static byte[] Terminated(string value, string parameter)
        {
            if (value == null)
                throw new ArgumentNullException(parameter);
            if (value.IndexOf('\0') >= 0)
                throw new ArgumentException(parameter + " holds a NUL character", parameter);
            int length;
            return Bytes(value, parameter, out length);
        }

        /// <summary>As Terminated, or null (NULL for the library) for a null `value`.</summary>
        internal static byte[] TerminatedOrNull(string value, string parameter)
        {
            return value == null ? null : Terminated(value, parameter);
        }

        /// <summary>`value` as UTF-8 of `length` bytes, for a parameter the library reads by its
        /// length. A NUL follows, so that the array is never empty: an empty text is a pointer to
        /// no bytes, not NULL.</summary>
        internal static byte[] Bytes(string value, string parameter, out int length)
        {
            if (value == null)
                throw new ArgumentNullException(parameter);
            try
            {
                length = Strict.GetByteCount(value);
                var bytes = new byte[length + 1];
                Strict.GetBytes(value, 0, value.Length, bytes, 0);
                return bytes;
            }
            catch (EncoderFallbackException error)
            {
                throw new ArgumentException(
                    parameter + " is not valid text: it holds a lone surrogate", parameter, error);
            }
        }

        /// <summary>`value` followed by a NUL, for a parameter the library reads by its
        /// length.</summary>
        internal static byte[] Bytes(byte[] value, string parameter)
        {
            if (value == null)
                throw new ArgumentNullException(parameter);
            var bytes = new byte[value.Length + 1];
            Buffer.BlockCopy(value, 0, bytes, 0, value.Length);
            return bytes;
        }

        internal static string Decode(byte[] bytes)
        {
            return Lenient.GetString(bytes);
        }

        /// <summary>The `length` bytes at `text`.</summary>
        internal static byte[] Copy(IntPtr text, UIntPtr length)
        {
            var bytes = new byte[checked((int)length.ToUInt64())];
            if (bytes.Length > 0)
                Marshal.Copy(text, bytes, 0, bytes.Length);
            return bytes;
        }

        /// <summary>The NUL-terminated text at `text` (a status text, a site's name, a reason),
        /// or null for NULL.</summary>
        internal static string FromTerminated(IntPtr text)
        {
            if (text == IntPtr.Zero)
                return null;
            int length = 0;
            while (Marshal.ReadByte(text, length) != 0)
                ++length;
            var bytes = new byte[length];
            Marshal.Copy(text, bytes, 0, length);
            return Decode(bytes);
        }

        /// <summary>The bytes of each text of a list the library handed out, read by
        /// length.</summary>
        internal static byte[][] Read(NativeStrings strings)
        {
            var texts = new byte[checked((int)strings.Count.ToUInt64())][];
            for (int i = 0; i < texts.Length; ++i)
            {
                IntPtr item = Marshal.ReadIntPtr(strings.Items, i * IntPtr.Size);
                // size_t and a pointer have the same width wherever the library runs.
                IntPtr length = Marshal.ReadIntPtr(strings.Lengths, i * IntPtr.Size);
                texts[i] = Copy(item, new UIntPtr(unchecked((ulong)length.ToInt64())));
            }
            return texts;
        }

        internal static string[] Texts(NativeStrings strings)
        {
            return Array.ConvertAll(Read(strings), Decode);
        }

        /// <summary>The texts of a list that the library handed out (none for NULL), which is
        /// freed.</summary>
        internal static string[] Take(StringsHandle strings)
        {
            using (strings)
            {
                if (strings == null || strings.IsInvalid)
                    return new string[0];
                return Texts(strings.Read<NativeStrings>());
            }
        }

        internal static IReadOnlyList<string> ReadOnly(string[] texts)
        {
            return Array.AsReadOnly(texts);
        }
    }
}
