#pragma once

// The JSON coding layer: coders, containers, errors and the Coding trait.
#include "base/coding/Coding.hpp"
#include "base/coding/CodingErrors.hpp"
#include "base/coding/CodingKey.hpp"
#include "base/coding/CodingStrategies.hpp"
#include "base/coding/Decoder.hpp"
#include "base/coding/Encoder.hpp"
#include "base/coding/JSONCoders.hpp"
#include "base/coding/KeyConversion.hpp"
