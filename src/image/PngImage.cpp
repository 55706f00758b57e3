#include "image/PngImage.h"

#include <png.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <exception>
#include <fstream>
#include <istream>
#include <iterator>
#include <memory>
#include <ostream>
#include <sstream>

#include "image/BMPExtImage.h"
#include "platform/FileReplace.h"

// libpng reports errors through a callback that must not return. Ours
// records the message and long-jumps back to the one function that set the
// jump point; that function (the jobs' Run) keeps nothing with a
// destructor in its own frame, every C++ call it makes is noexcept, and it
// destroys the libpng structures on both paths. The exception is thrown
// only after it has returned.

namespace vivurozed {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double kDefaultFileGamma = 0.45455;
constexpr auto kProgressInterval = std::chrono::milliseconds(100);
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;

std::string Latin1ToUtf8(const char* text, std::size_t length) {
  std::string out;
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xc0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3f));
    }
  }
  return out;
}

bool EqualNoCase(const std::string& a, const char* b) {
  const std::size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// Days since 1899-12-30, the date-time origin used across the program.
double DateTimeOf(int year, int month, int day, int hour, int minute, int second) {
  using namespace std::chrono;
  const sys_days date = year_month_day{std::chrono::year{year}, std::chrono::month{unsigned(month)},
                                       std::chrono::day{unsigned(day)}};
  const sys_days origin = year_month_day{std::chrono::year{1899}, December, std::chrono::day{30}};
  return double((date - origin).count()) + (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}

}  // namespace

// What reading and writing share: libpng's error text, an exception of the
// progress event kept across libpng's long jump, and the throttled row
// progress.
struct TPngJob {
  const TPngImage* reporter = nullptr;
  png_structp png = nullptr;
  std::string message;
  std::exception_ptr pending;
  Clock::time_point lastReport;

  void Fail(const char* text) noexcept {
    try {
      message = text;
    } catch (...) {
    }
  }
  // Progress that may throw; the exception is kept and libpng unwound.
  bool Report(const char* stage, int percent) noexcept {
    try {
      reporter->Report(stage, percent);
      return true;
    } catch (...) {
      pending = std::current_exception();
      return false;
    }
  }
  void Row(png_uint_32 row, png_uint_32 height) noexcept {
    const auto now = Clock::now();
    if (now - lastReport < kProgressInterval) return;
    lastReport = now;
    const int percent = height ? int(std::uint64_t(row) * 100 / height) : 100;
    if (!Report("Running", percent)) png_error(png, "progress event failed");
  }
};

struct TPngReadJob : TPngJob {
  const std::uint8_t* data = nullptr;  // the whole file
  std::size_t size = 0, position = 0;
  TPngImage result;
  std::vector<png_bytep> rowPointers;
  png_infop info = nullptr;
  png_infop endInfo = nullptr;
  void Row(png_uint_32 row) noexcept { TPngJob::Row(row, result.height_); }
  static bool Run(TPngReadJob* job);
  bool TakeHeader() noexcept;
  bool TakeTexts(png_infop from) noexcept;
  bool Allocate() noexcept;
  void TakeTime() noexcept;
};

struct TPngWriteJob : TPngJob {
  std::ostream* out = nullptr;
  std::string* bytes = nullptr;  // written here instead of to out when set
  const TPngImage* image = nullptr;
  std::vector<png_text> texts;
  std::vector<png_color> palette;
  std::vector<png_bytep> rowPointers;
  png_infop info = nullptr;
  void Row(png_uint_32 row) noexcept { TPngJob::Row(row, image->height_); }
  static bool Run(TPngWriteJob* job);
  bool Prepare() noexcept;
};

namespace {

[[noreturn]] void OnError(png_structp png, png_const_charp text) {
  static_cast<TPngJob*>(png_get_error_ptr(png))->Fail(text);
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadData(png_structp png, png_bytep data, size_t length) {
  auto* job = static_cast<TPngReadJob*>(png_get_io_ptr(png));
  if (length > job->size - job->position) png_error(png, "Read Error");
  std::memcpy(data, job->data + job->position, length);
  job->position += length;
}

// libpng allocates a chunk's declared length before reading it, so a file
// whose chunks claim more than it holds is refused before libpng sees it.
bool ChunksFitTheFile(const std::uint8_t* data, std::size_t size) {
  std::size_t at = 8;
  while (at + 8 <= size) {
    const std::uint32_t length = std::uint32_t(data[at]) << 24 | std::uint32_t(data[at + 1]) << 16 |
                                 std::uint32_t(data[at + 2]) << 8 | data[at + 3];
    if (length > size - at - 8 || size - at - 8 - length < 4) return false;
    if (std::memcmp(data + at + 4, "IEND", 4) == 0) return true;
    at += 12 + std::size_t(length);
  }
  return false;
}

void WriteData(png_structp png, png_bytep data, size_t length) {
  auto* job = static_cast<TPngWriteJob*>(png_get_io_ptr(png));
  bool ok = false;
  try {
    if (job->bytes) {
      job->bytes->append(reinterpret_cast<const char*>(data), length);
      ok = true;
    } else {
      ok = static_cast<bool>(job->out->write(reinterpret_cast<const char*>(data),
                                             static_cast<std::streamsize>(length)));
    }
  } catch (...) {
  }
  if (!ok) png_error(png, "Write Error");
}

void FlushData(png_structp) {}

void ReadRowDone(png_structp png, png_uint_32 row, int) {
  static_cast<TPngReadJob*>(png_get_io_ptr(png))->Row(row);
}

void WriteRowDone(png_structp png, png_uint_32 row, int) {
  static_cast<TPngWriteJob*>(png_get_io_ptr(png))->Row(row);
}

}  // namespace

bool TPngReadJob::TakeHeader() noexcept {
  TPngImage& r = result;
  png_uint_32 w = 0, h = 0;
  int depth = 0, colour = 0, interlace = 0, compression = 0, filter = 0;
  png_get_IHDR(png, info, &w, &h, &depth, &colour, &interlace, &compression, &filter);
  r.width_ = w;
  r.height_ = h;
  r.bitDepth_ = depth;
  r.colourType_ = colour;
  r.interlaceMethod_ = interlace;
  r.compressionMethod_ = compression;
  r.filterMethod_ = filter;

  png_colorp plte = nullptr;
  int plteCount = 0;
  if (colour == PNG_COLOR_TYPE_PALETTE) png_get_PLTE(png, info, &plte, &plteCount);

  png_color_16p bkgd = nullptr;
  if (png_get_bKGD(png, info, &bkgd) && bkgd) {
    auto to8 = [depth](unsigned v) -> std::uint8_t {
      if (depth == 16) return std::uint8_t(v >> 8);
      if (depth < 8) return std::uint8_t(v * 255 / ((1u << depth) - 1));
      return std::uint8_t(v);
    };
    if (colour == PNG_COLOR_TYPE_PALETTE) {
      if (bkgd->index < plteCount) {
        const png_color& c = plte[bkgd->index];
        r.background_ = {c.red, c.green, c.blue};
      }
    } else if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) {
      const std::uint8_t g = to8(bkgd->gray);
      r.background_ = {g, g, g};
    } else {
      r.background_ = {to8(bkgd->red), to8(bkgd->green), to8(bkgd->blue)};
    }
  }
  r.transparent_ = png_get_valid(png, info, PNG_INFO_tRNS) != 0;

  // A palette picture that stays one index per pixel needs its palette,
  // whatever its depth.
  try {
    if (colour == PNG_COLOR_TYPE_PALETTE && !r.Expand && !r.transparent_)
      for (int i = 0; i < plteCount; ++i)
        r.palette_.push_back({plte[i].red, plte[i].green, plte[i].blue});
  } catch (...) {
    return false;
  }
  double gamma = 0;
  if (png_get_gAMA(png, info, &gamma)) r.fileGamma_ = gamma;
  return true;
}

bool TPngReadJob::TakeTexts(png_infop from) noexcept {
  png_textp text = nullptr;
  int count = 0;
  png_get_text(png, from, &text, &count);
  try {
    for (int i = 0; i < count; ++i) {
      const std::string key = Latin1ToUtf8(text[i].key, std::strlen(text[i].key));
      const bool utf8 = text[i].compression == PNG_ITXT_COMPRESSION_NONE ||
                        text[i].compression == PNG_ITXT_COMPRESSION_zTXt;
      const std::size_t length = utf8 ? text[i].itxt_length : text[i].text_length;
      const std::string value = !text[i].text ? std::string()
                                : utf8        ? std::string(text[i].text, length)
                                              : Latin1ToUtf8(text[i].text, length);
      result.texts_.push_back(key + "=" + value);
      if (EqualNoCase(key, "Title")) result.title_ = value;
      if (EqualNoCase(key, "Author")) result.author_ = value;
      if (EqualNoCase(key, "Description")) result.description_ = value;
    }
  } catch (...) {
    return false;
  }
  return true;
}

bool TPngReadJob::Allocate() noexcept {
  TPngImage& r = result;
  r.bytesPerRow_ = png_get_rowbytes(png, info);
  r.channels_ = png_get_channels(png, info);
  const std::string refusal = PictureSizeRefusal(r.width_, r.height_);
  if (!refusal.empty() ||
      (r.height_ != 0 && r.bytesPerRow_ > TPngImage::kMaxPixelBytes / r.height_)) {
    Fail(refusal.empty() ? "Image too large" : refusal.c_str());
    return false;
  }
  try {
    r.rows_.resize(r.bytesPerRow_ * r.height_);
    rowPointers.resize(r.height_);
  } catch (...) {
    Fail("Out of memory");
    return false;
  }
  for (png_uint_32 y = 0; y < r.height_; ++y) rowPointers[y] = r.rows_.data() + y * r.bytesPerRow_;
  return true;
}

void TPngReadJob::TakeTime() noexcept {
  png_timep time = nullptr;
  if (!png_get_tIME(png, endInfo, &time) || !time) png_get_tIME(png, info, &time);
  if (!time || time->year > 9999) return;
  // libpng keeps only fields in range; day 31 of a short month counts on
  // into the next month.
  result.modificationTime_ =
      DateTimeOf(time->year, time->month, time->day, time->hour, time->minute, time->second);
}

namespace {}  // namespace

// No object with a destructor lives in this frame (see the note at the top).
bool TPngReadJob::Run(TPngReadJob* job) {
  if (job->size < 4 || png_sig_cmp(job->data, 0, 4) != 0) {
    job->Fail("Is not a valid PNG !");
    return false;
  }
  if (!ChunksFitTheFile(job->data, job->size)) {
    job->Fail("Read Error");
    return false;
  }
  job->png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, static_cast<TPngJob*>(job), OnError, OnWarning);
  if (!job->png) {
    job->Fail("Failed to Create read struct");
    return false;
  }
  if (!job->Report("Start PNG read", 0)) {
    png_destroy_read_struct(&job->png, nullptr, nullptr);
    return false;
  }
  job->info = png_create_info_struct(job->png);
  if (job->info) job->endInfo = png_create_info_struct(job->png);
  if (!job->info || !job->endInfo) {
    job->Fail("Failed to Create info struct");
    png_destroy_read_struct(&job->png, &job->info, &job->endInfo);
    return false;
  }
  if (setjmp(png_jmpbuf(job->png))) {
    png_destroy_read_struct(&job->png, &job->info, &job->endInfo);
    return false;
  }
  png_set_read_fn(job->png, job, ReadData);
  png_set_chunk_malloc_max(job->png, kMaxChunkBytes);
  job->position = 4;
  png_set_sig_bytes(job->png, 4);
  png_read_info(job->png, job->info);
  if (!job->TakeTexts(job->info) || !job->TakeHeader()) png_error(job->png, "Out of memory");

  png_structp png = job->png;
  const int colour = job->result.colourType_;
  const int depth = job->result.bitDepth_;
  const bool expand = job->result.Expand;
  if (expand && colour == PNG_COLOR_TYPE_PALETTE && depth <= 8) png_set_palette_to_rgb(png);
  if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (job->result.transparent_) png_set_tRNS_to_alpha(png);
  if (expand && (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA))
    png_set_gray_to_rgb(png);
  png_set_gamma(png, job->result.ScreenGamma,
                job->result.fileGamma_ > 0 ? job->result.fileGamma_ : kDefaultFileGamma);
  png_set_invert_alpha(png);
  if (depth < 8) png_set_packing(png);
  if (depth == 16) png_set_swap(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, job->info);
  if (!job->Allocate()) png_longjmp(png, 1);

  if (job->reporter->onProgress_) png_set_read_status_fn(png, ReadRowDone);
  png_read_image(png, job->rowPointers.data());
  png_read_end(png, job->endInfo);
  if (!job->TakeTexts(job->endInfo)) png_error(png, "Out of memory");
  job->TakeTime();
  png_destroy_read_struct(&job->png, &job->info, &job->endInfo);
  return job->Report("Ended PNG read", 100);
}

bool TPngWriteJob::Run(TPngWriteJob* job) {
  job->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, static_cast<TPngJob*>(job), OnError,
                                     OnWarning);
  if (!job->png) {
    job->Fail("Failed to Create write struct");
    return false;
  }
  if (!job->Report("Starting PNG write", 0)) {
    png_destroy_write_struct(&job->png, nullptr);
    return false;
  }
  job->info = png_create_info_struct(job->png);
  if (!job->info) {
    job->Fail("Failed to Create info struct");
    png_destroy_write_struct(&job->png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(job->png))) {
    png_destroy_write_struct(&job->png, &job->info);
    return false;
  }
  if (!job->Prepare()) png_error(job->png, "Out of memory");
  png_structp png = job->png;
  png_infop info = job->info;
  const TPngImage& image = *job->image;
  png_set_write_fn(png, job, WriteData, FlushData);
  png_set_compression_level(png, image.CompressionLevel);
  png_set_compression_strategy(png, image.Strategy);
  png_set_IHDR(png, info, image.width_, image.height_, image.bitDepth_, image.colourType_,
               image.interlaceMethod_, image.compressionMethod_, image.filterMethod_);
  if (image.colourType_ == PNG_COLOR_TYPE_PALETTE)
    png_set_PLTE(png, info, job->palette.data(), int(job->palette.size()));
  if (!job->texts.empty()) png_set_text(png, info, job->texts.data(), int(job->texts.size()));
  png_write_info(png, info);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, image.FilterMask);
  if (image.HasPixels()) {
    if (image.bitDepth_ == 16) png_set_swap(png);
    if (image.viewBgr_) png_set_bgr(png);
    if (image.onProgress_) png_set_write_status_fn(png, WriteRowDone);
    png_write_image(png, job->rowPointers.data());
    // The format defines tIME as universal time.
    png_time now;
    png_convert_from_time_t(&now, std::time(nullptr));
    png_set_tIME(png, info, &now);
    png_write_end(png, info);
  }
  png_destroy_write_struct(&job->png, &job->info);
  return !image.HasPixels() || job->Report("Ended PNG write", 100);
}

namespace {

bool IsBlank(const std::string& text) {
  return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

bool IsAscii(const std::string& text) {
  for (unsigned char c : text)
    if (c >= 0x80) return false;
  return true;
}

}  // namespace

bool TPngWriteJob::Prepare() noexcept {
  try {
    const std::pair<const char*, const std::string*> fields[] = {
        {"Author", &image->author_},
        {"Description", &image->description_},
        {"Software", &image->software_},
        {"Title", &image->title_}};
    for (const auto& [key, value] : fields) {
      if (IsBlank(*value)) continue;
      png_text t{};
      // tEXt holds Latin-1 only; anything beyond ASCII goes out as UTF-8 iTXt.
      t.compression = IsAscii(*value) ? PNG_TEXT_COMPRESSION_NONE : PNG_ITXT_COMPRESSION_NONE;
      t.key = const_cast<char*>(key);
      t.text = const_cast<char*>(value->c_str());
      t.text_length = t.compression == PNG_TEXT_COMPRESSION_NONE ? value->size() : 0;
      t.itxt_length = t.compression == PNG_TEXT_COMPRESSION_NONE ? 0 : value->size();
      texts.push_back(t);
    }
    for (const TPngColour& c : image->palette_) palette.push_back({c.red, c.green, c.blue});
    rowPointers.resize(image->height_);
    for (std::uint32_t y = 0; y < image->height_ && image->HasPixels(); ++y)
      rowPointers[y] =
          const_cast<png_bytep>(image->view_.empty() ? image->Row(y) : image->view_[y]);
  } catch (...) {
    return false;
  }
  return true;
}

void TPngImage::Report(const std::string& stage, int percent) const {
  if (onProgress_) onProgress_(stage, percent);
}

void TPngImage::LoadFromStream(std::istream& in) {
  const std::string file{std::istreambuf_iterator<char>(in), {}};
  TPngReadJob job;
  job.data = reinterpret_cast<const std::uint8_t*>(file.data());
  job.size = file.size();
  job.reporter = this;
  job.result.Expand = Expand;
  job.result.ScreenGamma = ScreenGamma;
  job.result.CompressionLevel = CompressionLevel;
  job.result.FilterMask = FilterMask;
  job.result.Strategy = Strategy;
  const bool ok = TPngReadJob::Run(&job);
  if (job.pending) std::rethrow_exception(job.pending);
  if (!ok) throw EPngError(job.message.empty() ? "PNG read failed" : job.message);
  job.result.onProgress_ = std::move(onProgress_);
  *this = std::move(job.result);
}

void TPngImage::LoadFromFile(const std::filesystem::path& name) {
  std::ifstream in(name, std::ios::binary);
  if (!in) throw EPngError("Cannot open " + name.string());
  LoadFromStream(in);
}

namespace {

// Into the stream, or into bytes when given.
void Write(const TPngImage& image, std::ostream* out, std::string* bytes) {
  TPngWriteJob job;
  job.out = out;
  job.bytes = bytes;
  job.image = &image;
  job.reporter = &image;
  const bool ok = TPngWriteJob::Run(&job);
  if (job.pending) std::rethrow_exception(job.pending);
  if (!ok) throw EPngError(job.message.empty() ? "PNG write failed" : job.message);
}

}  // namespace

void TPngImage::SaveToStream(std::ostream& out) const {
  Write(*this, &out, nullptr);
}

void TPngImage::SaveToFile(const std::filesystem::path& name) const {
  // Room for the pixels uncompressed: the file is built without the copies
  // of a growing buffer, and pages never written are never touched.
  std::string bytes;
  bytes.reserve(std::size_t(height_) * (bytesPerRow_ + 1) + 65536);
  Write(*this, nullptr, &bytes);
  std::string error;
  if (!ReplaceFileContents(
          name, {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, &error))
    throw EPngError(error);
}

void TPngImage::TakeBitmapHeader(const TExtBitmap& bitmap) {
  int colour = pctGrey, channels = 1;
  std::vector<TPngColour> palette;
  if (bitmap.PixelFormat() == pf8bit) {
    const auto& entries = bitmap.Palette();
    bool greyRamp = true;
    for (std::size_t i = 0; i < entries.size() && i < 256; ++i) {
      const TPaletteEntry& e = entries[i];
      palette.push_back({e.red, e.green, e.blue});
      greyRamp = greyRamp && e.red == i && e.green == i && e.blue == i;
    }
    if (!greyRamp) colour = pctPalette;
  } else if (bitmap.PixelFormat() == pf24bit) {
    colour = pctRGB;
    channels = 3;
  } else {
    throw EPngError("Unsupported bitmap format");
  }
  colourType_ = colour;
  channels_ = channels;
  bitDepth_ = 8;
  interlaceMethod_ = compressionMethod_ = filterMethod_ = 0;
  width_ = std::uint32_t(bitmap.Width());
  height_ = std::uint32_t(bitmap.Height());
  bytesPerRow_ = std::size_t(width_) * std::size_t(channels);
  palette_ = std::move(palette);
  rows_.clear();
  view_.clear();
  viewBgr_ = false;
}

void TPngImage::AssignBitmap(const TExtBitmap& bitmap) {
  TPngImage next;
  next.TakeBitmapHeader(bitmap);
  std::vector<std::uint8_t> rows(next.bytesPerRow_ * next.height_);
  for (std::uint32_t y = 0; y < next.height_; ++y) {
    const std::uint8_t* src = bitmap.ScanLine(int(y));
    std::uint8_t* dst = rows.data() + y * next.bytesPerRow_;
    if (next.channels_ == 1) {
      std::memcpy(dst, src, next.bytesPerRow_);
    } else {
      for (std::uint32_t x = 0; x < next.width_; ++x) {
        dst[3 * x] = src[3 * x + 2];
        dst[3 * x + 1] = src[3 * x + 1];
        dst[3 * x + 2] = src[3 * x];
      }
    }
  }
  colourType_ = next.colourType_;
  channels_ = next.channels_;
  bitDepth_ = next.bitDepth_;
  interlaceMethod_ = compressionMethod_ = filterMethod_ = 0;
  width_ = next.width_;
  height_ = next.height_;
  bytesPerRow_ = next.bytesPerRow_;
  rows_ = std::move(rows);
  palette_ = std::move(next.palette_);
  view_.clear();
  viewBgr_ = false;
}

void TPngImage::ViewBitmap(const TExtBitmap& bitmap) {
  TakeBitmapHeader(bitmap);
  view_.resize(height_);
  for (std::uint32_t y = 0; y < height_; ++y) view_[y] = bitmap.ScanLine(int(y));
  viewBgr_ = channels_ == 3;
}

void TPngImage::DrawIntoBitmap(TExtBitmap& bitmap, int x0, int y0) const {
  const std::int64_t right = std::int64_t(x0) + width_, bottom = std::int64_t(y0) + height_;
  if (height_ > 0x7fffffffu || bottom > 0x7fffffff) throw EPngError("Image too high");
  if (width_ > 0x7fffffffu || right > 0x7fffffff) throw EPngError("Image too wide");
  if (width_ == 0 || height_ == 0 || channels_ < 1 || channels_ > 4) return;

  const TPixelFormat format = channels_ == 1 ? pf8bit : channels_ == 2 ? pf16bit : pf24bit;
  if (bitmap.PixelFormat() != format) bitmap.SetPixelFormat(format);
  bitmap.SetSize(std::max<int>(bitmap.Width(), int(right)),
                 std::max<int>(bitmap.Height(), int(bottom)));
  if (format == pf8bit) {
    if (palette_.empty()) {
      bitmap.SetPalette(GreyPalette(256));
    } else {
      std::vector<TPaletteEntry> entries;
      for (const TPngColour& c : palette_) entries.push_back({c.red, c.green, c.blue, 0});
      bitmap.SetPalette(std::move(entries));
    }
  }

  // 16-bit samples were read low byte first; the high byte is the value.
  const std::size_t sampleBytes = bytesPerRow_ / (std::size_t(width_) * channels_);
  const std::size_t high = sampleBytes - 1;
  const std::uint32_t firstX = x0 < 0 ? std::uint32_t(-std::int64_t(x0)) : 0;
  const std::uint32_t firstY = y0 < 0 ? std::uint32_t(-std::int64_t(y0)) : 0;
  for (std::uint32_t y = firstY; y < height_; ++y) {
    const std::uint8_t* src = Row(y);
    std::uint8_t* dst = bitmap.ScanLine(int(y0 + std::int64_t(y)));
    for (std::uint32_t x = firstX; x < width_; ++x) {
      const std::uint8_t* s = src + std::size_t(x) * channels_ * sampleBytes + high;
      const std::size_t dx = std::size_t(x0 + std::int64_t(x));
      switch (channels_) {
        case 1:
          dst[dx] = s[0];
          break;
        case 2:
          dst[2 * dx] = s[0];
          dst[2 * dx + 1] = s[sampleBytes];
          break;
        case 3:
          dst[3 * dx] = s[2 * sampleBytes];
          dst[3 * dx + 1] = s[sampleBytes];
          dst[3 * dx + 2] = s[0];
          break;
        default: {
          // Alpha was inverted on reading: 0 is opaque, 255 fully transparent.
          const unsigned a = s[3 * sampleBytes];
          std::uint8_t* d = dst + 3 * dx;
          const std::uint8_t colour[3] = {s[2 * sampleBytes], s[sampleBytes], s[0]};
          if (a == 0) {
            d[0] = colour[0], d[1] = colour[1], d[2] = colour[2];
          } else if (a == 255) {
            d[0] = background_.blue, d[1] = background_.green, d[2] = background_.red;
          } else {
            for (int c = 0; c < 3; ++c)
              d[c] = std::uint8_t((d[c] * a + (255 - a) * colour[c]) / 255);
          }
        }
      }
    }
  }
  bitmap.SetModified(true);
}

bool SaveBitmapAsPNG(const TExtBitmap& bitmap, const std::filesystem::path& name,
                     const std::string& author, const std::string& description,
                     const std::string& software, const std::string& title,
                     TPngProgressEvent onProgress) {
  TPngImage png;
  png.ViewBitmap(bitmap);  // compressed straight from the bitmap's rows
  png.CompressionLevel = 4;
  // On these pictures the sub filter with run lengths alone is four times
  // faster than the full search over three filters, for about 1 % more bytes.
  png.FilterMask = pfSub;
  png.Strategy = psRunLength;
  png.SetAuthor(author);
  png.SetDescription(description);
  png.SetSoftware(software);
  png.SetTitle(title);
  png.SetOnProgress(std::move(onProgress));
  png.SaveToFile(name);
  return true;
}

bool LoadPNGIntoBitmap(TExtBitmap& bitmap, const std::filesystem::path& name, bool expand) {
  TPngImage png;
  png.Expand = expand;
  png.LoadFromFile(name);
  bitmap.SetSize(0, 0);
  png.DrawIntoBitmap(bitmap, 0, 0);
  return true;
}

std::string PngLibraryVersion() {
  return png_get_libpng_ver(nullptr);
}

}  // namespace vivurozed
