// The wizard's window on the Linux desktop: GLFW and OpenGL 3 under Dear ImGui's own backends, so
// that the same wizard that VellmoraSetup.exe draws with Direct3D 11 can be looked at, tested and
// screenshotted (under Xvfb) against the simulated machine.
//
//   VELLMORA_SIM_SCREENSHOT=<file.png>  writes the window's pixels after a few frames and closes
//                                       the window (VELLMORA_SIM_SCREENSHOT_FRAMES, default 6).

#include "platform/window.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#define GLFW_INCLUDE_NONE  // the GL declarations come from the backend's loader
#include <GLFW/glfw3.h>

#include "imgui.h"
#include "imgui_impl_glfw.h"
#include "imgui_impl_opengl3.h"
#include "imgui_impl_opengl3_loader.h"

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Wsign-conversion"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#endif
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO_FILE_FLAGS
#include "stb_image_write.h"
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace platform {
namespace {

class GlfwWindowHost : public WindowHost {
 public:
  explicit GlfwWindowHost(GLFWwindow* window) : window_(window) {}
  ~GlfwWindowHost() override {
    if (!textures_.empty()) glDeleteTextures(static_cast<GLsizei>(textures_.size()), textures_.data());
  }

  RawWindow Handle() override { return reinterpret_cast<RawWindow>(window_); }
  void PostCloseRequest() override { close_requested_ = true; }
  void Minimise() override { glfwIconifyWindow(window_); }
  ScreenPoint WindowTopLeft() override {
    ScreenPoint point;
    glfwGetWindowPos(window_, &point.x, &point.y);
    return point;
  }
  ScreenPoint CursorPosition() override {
    double x = 0, y = 0;
    glfwGetCursorPos(window_, &x, &y);
    ScreenPoint corner = WindowTopLeft();
    return {corner.x + static_cast<int>(x), corner.y + static_cast<int>(y)};
  }
  void MoveTo(ScreenPoint top_left) override { glfwSetWindowPos(window_, top_left.x, top_left.y); }
  std::uint64_t CreateTexture(const RgbaImage& image) override {
    if (image.width <= 0 || image.height <= 0 || image.pixels == nullptr) return 0;
    GLuint texture = 0;
    glGenTextures(1, &texture);
    if (texture == 0) return 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, image.width, image.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 image.pixels);
    textures_.push_back(texture);
    return texture;
  }

  // A close request reaches the client as WM_CLOSE would: it decides.
  bool TakeCloseRequest() {
    bool requested = close_requested_ || glfwWindowShouldClose(window_);
    close_requested_ = false;
    glfwSetWindowShouldClose(window_, GLFW_FALSE);
    return requested;
  }

 private:
  GLFWwindow* window_;
  bool close_requested_ = false;
  std::vector<GLuint> textures_;
};

void WriteScreenshot(const std::string& path, int width, int height) {
  std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  stbi_flip_vertically_on_write(1);
  if (!stbi_write_png(path.c_str(), width, height, 4, pixels.data(), width * 4)) {
    std::fprintf(stderr, "could not write the screenshot %s\n", path.c_str());
  }
}

}  // namespace

bool RunWizardWindow(WindowClient& client) {
  if (!glfwInit()) return false;
  glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
  glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 0);
  glfwWindowHint(GLFW_DECORATED, GLFW_FALSE);
  glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);
  glfwWindowHint(GLFW_FLOATING, GLFW_TRUE);
  glfwWindowHint(GLFW_TRANSPARENT_FRAMEBUFFER, GLFW_TRUE);
  glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
  GLFWwindow* window = glfwCreateWindow(kWizardWindowWidth, kWizardWindowHeight,
                                        "Vellmora Installer", nullptr, nullptr);
  if (window == nullptr) {
    glfwTerminate();
    return false;
  }
  // Centred in the primary monitor's work area, or at its corner when the area is smaller.
  if (GLFWmonitor* monitor = glfwGetPrimaryMonitor()) {
    int x = 0, y = 0, width = 0, height = 0;
    glfwGetMonitorWorkarea(monitor, &x, &y, &width, &height);
    const ScreenPoint origin = CentredWindowOrigin(x, y, width, height);
    glfwSetWindowPos(window, origin.x, origin.y);
  }
  glfwMakeContextCurrent(window);
  glfwSwapInterval(1);

  IMGUI_CHECKVERSION();
  ImGui::CreateContext();
  ImGui::StyleColorsDark();
  ImGui_ImplGlfw_InitForOpenGL(window, true);
  ImGui_ImplOpenGL3_Init("#version 130");
  glfwShowWindow(window);

  const char* screenshot = std::getenv("VELLMORA_SIM_SCREENSHOT");
  int screenshot_frames = 6;
  if (const char* frames = std::getenv("VELLMORA_SIM_SCREENSHOT_FRAMES")) {
    screenshot_frames = std::atoi(frames) > 0 ? std::atoi(frames) : screenshot_frames;
  }
  {
    GlfwWindowHost host(window);
    client.Start(host);
    for (int frame = 1; screenshot == nullptr || frame <= screenshot_frames; ++frame) {
      glfwPollEvents();
      if (host.TakeCloseRequest() && client.MayClose()) break;
      ImGui_ImplOpenGL3_NewFrame();
      ImGui_ImplGlfw_NewFrame();
      ImGui::NewFrame();
      client.Frame(host);
      ImGui::Render();
      int width = 0, height = 0;
      glfwGetFramebufferSize(window, &width, &height);
      glViewport(0, 0, width, height);
      glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
      glClear(GL_COLOR_BUFFER_BIT);
      ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
      if (screenshot != nullptr && frame == screenshot_frames) {
        WriteScreenshot(screenshot, width, height);  // and the loop ends, busy or not
      }
      glfwSwapBuffers(window);
    }
  }
  ImGui_ImplOpenGL3_Shutdown();
  ImGui_ImplGlfw_Shutdown();
  ImGui::DestroyContext();
  glfwDestroyWindow(window);
  glfwTerminate();
  return true;
}

}  // namespace platform
