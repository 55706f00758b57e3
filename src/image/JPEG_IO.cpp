#include "image/JPEG_IO.h"

#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include <jpeglib.h>

#include "image/BMPExtImage.h"
#include "platform/FileReplace.h"

// libjpeg's default error handler ends the process. Ours long-jumps back to
// the function that set the jump point; those functions (Encode, ReadHeader,
// Decode) keep nothing with a destructor in their own frame and call only
// code that cannot throw, and the caller destroys the libjpeg object on
// every path.

namespace vivurozed {
namespace {

struct TJpegErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<TJpegErrorManager*>(cinfo->err)->jump, 1);
}

// libjpeg-turbo carries on after damaged data with a warning and fills in
// grey; a file like that is refused instead.
void OnMessage(j_common_ptr cinfo, int level) {
  if (level < 0) OnError(cinfo);
}

void InstallErrorManager(j_common_ptr cinfo, TJpegErrorManager& errors) {
  cinfo->err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = OnError;
  errors.pub.emit_message = OnMessage;
}

constexpr std::size_t kChunk = 16384;

struct TEncodeJob {
  jpeg_compress_struct cinfo{};
  TJpegErrorManager errors{};
  jpeg_destination_mgr destination{};
  const TExtBitmap* bitmap = nullptr;
  int quality = 75;
  const std::string* comment = nullptr;
  std::vector<JOCTET> chunk;
  std::vector<JOCTET> out;
  std::vector<JSAMPLE> line;  // a grey row spread to three channels
  bool created = false;
};

TEncodeJob* JobOf(j_compress_ptr cinfo) {
  return static_cast<TEncodeJob*>(cinfo->client_data);
}

void StartOutput(j_compress_ptr cinfo) {
  TEncodeJob* job = JobOf(cinfo);
  job->destination.next_output_byte = job->chunk.data();
  job->destination.free_in_buffer = job->chunk.size();
}

bool Append(TEncodeJob* job, std::size_t count) noexcept {
  try {
    job->out.insert(job->out.end(), job->chunk.begin(), job->chunk.begin() + count);
    return true;
  } catch (...) {
    return false;
  }
}

boolean FlushChunk(j_compress_ptr cinfo) {
  TEncodeJob* job = JobOf(cinfo);
  if (!Append(job, job->chunk.size())) OnError(reinterpret_cast<j_common_ptr>(cinfo));
  StartOutput(cinfo);
  return TRUE;
}

void EndOutput(j_compress_ptr cinfo) {
  TEncodeJob* job = JobOf(cinfo);
  if (!Append(job, job->chunk.size() - job->destination.free_in_buffer))
    OnError(reinterpret_cast<j_common_ptr>(cinfo));
}

// No object with a destructor lives in this frame (see the note at the top).
bool Encode(TEncodeJob* job) {
  j_compress_ptr c = &job->cinfo;
  InstallErrorManager(reinterpret_cast<j_common_ptr>(c), job->errors);
  if (setjmp(job->errors.jump)) return false;
  jpeg_create_compress(c);
  job->created = true;
  c->client_data = job;
  job->destination.init_destination = StartOutput;
  job->destination.empty_output_buffer = FlushChunk;
  job->destination.term_destination = EndOutput;
  c->dest = &job->destination;

  const TExtBitmap& bitmap = *job->bitmap;
  const bool grey = bitmap.PixelFormat() == pf8bit;
  c->image_width = JDIMENSION(bitmap.Width());
  c->image_height = JDIMENSION(bitmap.Height());
  c->input_components = 3;
  c->in_color_space = grey ? JCS_RGB : JCS_EXT_BGR;
  jpeg_set_defaults(c);
  jpeg_set_colorspace(c, JCS_YCbCr);
  jpeg_set_quality(c, job->quality, TRUE);
  jpeg_start_compress(c, TRUE);
  if (!job->comment->empty()) {
    // A marker holds at most 65533 bytes of data.
    const std::size_t length = job->comment->size() < 65533 ? job->comment->size() : 65533;
    jpeg_write_marker(c, JPEG_COM, reinterpret_cast<const JOCTET*>(job->comment->data()),
                      unsigned(length));
  }
  while (c->next_scanline < c->image_height) {
    const std::uint8_t* src = bitmap.ScanLine(int(c->next_scanline));
    JSAMPROW row;
    if (grey) {
      for (JDIMENSION x = 0; x < c->image_width; ++x)
        job->line[3 * x] = job->line[3 * x + 1] = job->line[3 * x + 2] = src[x];
      row = job->line.data();
    } else {
      row = const_cast<JSAMPROW>(src);
    }
    jpeg_write_scanlines(c, &row, 1);
  }
  jpeg_finish_compress(c);
  return true;
}

struct TDecodeJob {
  jpeg_decompress_struct cinfo{};
  TJpegErrorManager errors{};
  std::vector<std::uint8_t> file;
  TExtBitmap picture;
  bool created = false;
};

bool ReadHeader(TDecodeJob* job, int scale) {
  j_decompress_ptr d = &job->cinfo;
  InstallErrorManager(reinterpret_cast<j_common_ptr>(d), job->errors);
  if (setjmp(job->errors.jump)) return false;
  jpeg_create_decompress(d);
  job->created = true;
  jpeg_mem_src(d, job->file.data(), static_cast<unsigned long>(job->file.size()));
  jpeg_read_header(d, TRUE);
  if (d->num_components != 1 && d->num_components != 3) return false;
  d->scale_num = 1;
  d->scale_denom = 1u << scale;
  jpeg_calc_output_dimensions(d);
  return true;
}

bool Decode(TDecodeJob* job, J_COLOR_SPACE space) {
  j_decompress_ptr d = &job->cinfo;
  if (setjmp(job->errors.jump)) return false;
  d->out_color_space = space;
  jpeg_start_decompress(d);
  if (int(d->output_width) != job->picture.Width() ||
      int(d->output_height) != job->picture.Height())
    return false;
  while (d->output_scanline < d->output_height) {
    JSAMPROW row = job->picture.ScanLine(int(d->output_scanline));
    jpeg_read_scanlines(d, &row, 1);
  }
  jpeg_finish_decompress(d);
  return true;
}

}  // namespace

bool SaveBitmapAsJPEG(const TExtBitmap& bitmap, const std::filesystem::path& name, int quality,
                      const std::string& comment) {
  if (bitmap.PixelFormat() != pf8bit && bitmap.PixelFormat() != pf24bit)
    throw EJpegError("Cannot save bitmap as JPEG with specified PixelFormat");
  TEncodeJob job;
  job.bitmap = &bitmap;
  job.quality = quality < 1 ? 1 : quality > 100 ? 100 : quality;
  job.comment = &comment;
  job.chunk.resize(kChunk);
  if (bitmap.PixelFormat() == pf8bit) job.line.resize(3 * std::size_t(bitmap.Width()));
  const bool encoded = Encode(&job);
  if (job.created) jpeg_destroy_compress(&job.cinfo);
  if (!encoded) throw EJpegError("Error writing JPEG to file");
  std::string error;
  if (!ReplaceFileContents(name, job.out, &error))
    throw EJpegError("Error writing JPEG to file: " + error);
  return true;
}

bool LoadJPEGIntoBitmap(TExtBitmap& bitmap, const std::filesystem::path& name, bool formatFromFile,
                        int scale, std::string* error) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(name, ec)) return false;
  const TPixelFormat format = bitmap.PixelFormat();
  if (!formatFromFile && format != pf8bit && format != pf24bit) return false;
  if (scale < 0 || scale > 3) return false;

  TDecodeJob job;
  {
    std::ifstream in(name, std::ios::binary);
    if (!in) return false;
    job.file.assign(std::istreambuf_iterator<char>(in), {});
  }
  bool ok = ReadHeader(&job, scale);
  if (ok) {
    const jpeg_decompress_struct& d = job.cinfo;
    const TPixelFormat target =
        formatFromFile ? (d.num_components == 1 ? pf8bit : pf24bit) : format;
    const std::size_t bytes =
        std::size_t(d.output_width) * d.output_height * (target == pf8bit ? 1 : 3);
    const std::string refusal = PictureSizeRefusal(d.output_width, d.output_height);
    ok = bytes <= kMaxJpegPixelBytes && refusal.empty();
    if (!refusal.empty() && error) *error = refusal;
    if (ok) {
      try {
        job.picture.SetPixelFormat(target);
        job.picture.SetSize(int(d.output_width), int(d.output_height));
        if (target == pf8bit) job.picture.SetPalette(GreyPalette(256));
      } catch (...) {
        ok = false;
      }
    }
    if (ok) ok = Decode(&job, target == pf8bit ? JCS_GRAYSCALE : JCS_EXT_BGR);
  }
  if (job.created) jpeg_destroy_decompress(&job.cinfo);
  if (!ok) return false;
  job.picture.SetModified(true);
  bitmap = std::move(job.picture);
  return true;
}

std::string JpegLibraryVersion() {
  const int api = JPEG_LIB_VERSION;
#ifdef LIBJPEG_TURBO_VERSION_NUMBER
  const int n = LIBJPEG_TURBO_VERSION_NUMBER;
  return "libjpeg-turbo " + std::to_string(n / 1000000) + "." + std::to_string(n / 1000 % 1000) +
         "." + std::to_string(n % 1000) + " (libjpeg " + std::to_string(api / 10) + "." +
         std::to_string(api % 10) + ")";
#else
  return "libjpeg " + std::to_string(api / 10) + "." + std::to_string(api % 10);
#endif
}

}  // namespace vivurozed
