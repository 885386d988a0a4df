// How file failures are worded: the one place for every system.

#include <cerrno>
#include <cstring>

#include "platform/file.h"

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
        case EDQUOT:
            return "ディスクの割り当てを超えました";
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
        default:
            return std::strerror(err);
    }
}

FileError::FileError(int err, std::string path)
    : std::system_error(err, std::generic_category()),
      path_(std::move(path)),
      message_(path_ + ": " + describeErrno(err)) {}

}  // namespace velt::platform
