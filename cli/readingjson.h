#pragma once

class JsonLineWriter;
class MeterFrame;
struct DecodeResult;

// One JSON object for a decoded frame, as `decode` prints it: the frame, the
// reading with its judgement, the chart's vertical axis and the MIN/MAX
// displays.
void writeReadingJson(JsonLineWriter &out, const MeterFrame &frame, const DecodeResult &result);
