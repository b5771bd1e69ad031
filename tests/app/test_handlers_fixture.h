// A controller with pictures made in memory, and the port with every handler installed.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/controller.h"
#include "script/commands.h"
#include "script/handlers.h"
#include "test_support.h"

namespace vl::test {

class HandlerTest : public PoolTest {
 protected:
  struct Picture {
    int width;
    int height;
    std::string format;
    int orientation;
  };
  void SetUp() override {
    PoolTest::SetUp();
    controller = std::make_unique<app::Controller>();
    controller->SetReader([this](const char* path) -> image::Texture* {
      auto it = pictures.find(path);
      if (it == pictures.end()) return nullptr;
      image::Texture* t = image::CreateTexture(it->second.width, it->second.height, image::ARGB32);
      image::ChunkyPtr pattern(RandomImage(it->second.width, it->second.height, image::ARGB32, 7));
      std::memcpy(t->chunky->pixels, pattern->pixels,
                  image::BufferBytes(it->second.width, it->second.height, image::ARGB32));
      t->name = path;
      t->formatName = it->second.format;
      return t;
    });
    controller->exif().SetReader([this](const std::string& path, int& orientation, app::InfoList& info) {
      auto it = pictures.find(path);
      if (it == pictures.end() || it->second.format != "JPEG") return false;
      orientation = it->second.orientation;
      info = {{"Orientation:", std::to_string(orientation)}};
      return true;
    });
    script::InstallHandlers(port, *controller);
  }
  void TearDown() override {
    controller.reset();
    PoolTest::TearDown();
  }
  script::Reply Run(const std::string& line) { return port.Execute(line); }
  int Rc(const std::string& line) { return port.Execute(line).rc; }
  // Runs a command and returns what it printed on standard output.
  std::string Printed(const std::string& line, int* rc = nullptr) {
    testing::internal::CaptureStdout();
    int r = port.Execute(line).rc;
    std::string out = testing::internal::GetCapturedStdout();
    if (rc) *rc = r;
    return out;
  }
  image::ChunkyImage* Current() const {
    return controller->currentImage() ? controller->currentImage()->chunky : nullptr;
  }
  std::vector<uint8_t> Pixels() const {
    const image::ChunkyImage* c = Current();
    return std::vector<uint8_t>(c->pixels, c->pixels + image::BufferBytes(c->width, c->height, c->format));
  }

  std::map<std::string, Picture> pictures = {
      {"/p/640.png", {640, 480, "PNG", 0}}, {"/p/800.png", {800, 600, "PNG", 0}}, {"/p/small.png", {40, 30, "PNG", 0}}};
  std::unique_ptr<app::Controller> controller;
  script::CommandPort port;
};

}  // namespace vl::test
