// How file failures are worded: the one place for every system.

#include <cerrno>
#include <cstring>

#include "platform/file.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/windows_error.h"
#endif

namespace velt::platform {

std::string describeErrno(int err) {
    switch (err) {
        case ENOENT:
            return "フォルダがありません";
        case ENOTDIR:
            return "途中にフォルダでないものがあります";
        case EACCES:
        case EPERM:
            return "書き込みが許可されていません";
        case EROFS:
            return "読み取り専用のディスクです";
        case ENOSPC:
            return "ディスクがいっぱいです";
#ifdef EDQUOT
        case EDQUOT:
            return "ディスクの割り当てを超えました";
#endif
        case EFBIG:
            return "ファイルが大きすぎます";
        case EISDIR:
            return "同じ名前のフォルダがあります";
        case ELOOP:
            return "リンクです。この名前のリンクはたどりません";
        case ENXIO:
        case ENODEV:
            return "通常のファイルではありません (パイプや装置、フォルダなど)";
        case EIO:
            return "ディスクの読み書きに失敗しました";
        case EBUSY:
            return "ほかのプログラムが使用中です";
        default:
            return std::strerror(err);
    }
}

std::string describeFileError(int err, Op op) {
    switch (err) {
        case EACCES:
        case EPERM:
            switch (op) {
                case Op::Read:
                    return "読み取りが許可されていません";
                case Op::List:
                    return "フォルダの中を見ることが許可されていません";
                case Op::Lock:
                    return "ロックが許可されていません";
                case Op::Remove:
                    return "削除が許可されていません";
                default:
                    return "書き込みが許可されていません";
            }
        case ENOENT:
            // Making a file fails on a missing name only when its folder is missing.
            return op == Op::List || op == Op::Create || op == Op::Rename ? "フォルダがありません"
                                                                          : "ファイルがありません";
        case ENOTDIR:
            return op == Op::List ? "フォルダではなくファイルです"
                                  : "途中にフォルダでないものがあります";
        case EISDIR:
            return op == Op::Read ? "ファイルではなくフォルダです" : "同じ名前のフォルダがあります";
        case EIO:
            return op == Op::Read || op == Op::List ? "ディスクから読めません"
                                                    : "ディスクに書き込めません";
        case EWOULDBLOCK:
            return op == Op::Lock ? "ほかのプログラムがロックしています" : describeErrno(err);
        default:
            return describeErrno(err);
    }
}

#ifdef _WIN32
int errnoOfWindowsError(unsigned long code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return ENOENT;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_ACCESS_DENIED:
        case ERROR_PRIVILEGE_NOT_HELD:
            return EACCES;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_FILE_TOO_LARGE:
            return EFBIG;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_USER_MAPPED_FILE:
            return EBUSY;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_CANT_RESOLVE_FILENAME:
            return ELOOP;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_INVALID_PARAMETER:
        case ERROR_NEGATIVE_SEEK:
            return EINVAL;
        case ERROR_NO_UNICODE_TRANSLATION:
            return EILSEQ;
        case ERROR_TOO_MANY_OPEN_FILES:
            return EMFILE;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_DIR_NOT_EMPTY:
            return ENOTEMPTY;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA:
            return EPIPE;
        default:
            return EIO;
    }
}
#endif

FileError::FileError(int err, std::string path, Op op)
    : std::system_error(err, std::generic_category()),
      path_(std::move(path)),
      op_(op),
      message_(path_ + ": " + describeFileError(err, op)) {}

}  // namespace velt::platform
