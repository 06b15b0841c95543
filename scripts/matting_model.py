#!/usr/bin/python3
"""Converts the 256x144 selfie-segmentation TFLite graph into the ONNX matting model we embed.

    matting_model.py <model.tflite> <out.onnx>

The ONNX model takes "pixel_values" [N, 3, 144, 256] (RGB planes, 0..1) and gives "alphas"
[N, 1, 144, 256], the probability that a pixel shows the person. It uses ONNX opset 9, which
Windows ML loads from Windows 10 version 2004 on.

Before writing the file the script evaluates both graphs on a few fixed images, the TFLite graph
in its own NHWC layout and the serialized ONNX graph in NCHW, each with a small numpy evaluator
below, and fails unless every tensor agrees within 1e-4 (relative to the tensor's scale, at
least 1) and a drawn person comes out as the person. A failure writes nothing.
"""
import struct
import sys

import flatbuffers
import numpy as np
import onnx
from flatbuffers import number_types as fbn
from onnx import TensorProto, helper, numpy_helper

INPUT_NAME = "pixel_values"
OUTPUT_NAME = "alphas"
WIDTH, HEIGHT = 256, 144
OPSET = 9
IR_VERSION = 4  # ONNX 1.4, the format that goes with opset 9
TOLERANCE = 1e-4

# TFLite builtin operators (tensorflow/lite/schema/schema.fbs, BuiltinOperator).
ADD, CONV_2D, DEPTHWISE_CONV_2D, DEQUANTIZE = 0, 3, 4, 6
LOGISTIC, MUL, RELU, RESIZE_BILINEAR = 14, 18, 19, 23
CUSTOM, MEAN, HARD_SWISH = 32, 40, 117
TRANSPOSE_CONV_BIAS = "Convolution2DTransposeBias"
# Tensor types.
FLOAT32, FLOAT16, INT32 = 0, 1, 2
TENSOR_DTYPES = {FLOAT32: "<f4", FLOAT16: "<f2", INT32: "<i4"}
# Padding as the builtin options give it, and as the transposed convolution's custom options
# give it: those are three int32 (padding, stride_w, stride_h) with padding 1 same, 2 valid.
SAME, VALID = 0, 1
CUSTOM_PADDING = {1: SAME, 2: VALID}


def need(condition, message):
    if not condition:
        sys.exit(f"matting model: {message}")


# ---- Reading the TFLite flatbuffer ---------------------------------------------------------------
# Field n of a table sits at vtable offset 4 + 2n; a union takes two fields (type, then value).

class Table:
    def __init__(self, data, pos):
        self.t = flatbuffers.table.Table(data, pos)

    def _offset(self, field):
        return self.t.Offset(4 + 2 * field)

    def scalar(self, field, flags, default=0):
        o = self._offset(field)
        return self.t.Get(flags, self.t.Pos + o) if o else default

    def string(self, field):
        o = self._offset(field)
        return self.t.String(self.t.Pos + o).decode() if o else ""

    def table(self, field):
        o = self._offset(field)
        return Table(self.t.Bytes, self.t.Indirect(self.t.Pos + o)) if o else None

    def tables(self, field):
        o = self._offset(field)
        if not o:
            return []
        start = self.t.Vector(o)
        return [Table(self.t.Bytes, self.t.Indirect(start + 4 * k))
                for k in range(self.t.VectorLen(o))]

    def array(self, field, dtype):
        o = self._offset(field)
        if not o:
            return np.zeros(0, dtype)
        start, count = self.t.Vector(o), self.t.VectorLen(o)
        end = start + count * np.dtype(dtype).itemsize
        return np.frombuffer(bytes(self.t.Bytes[start:end]), dtype)


class Op:
    def __init__(self, kind, inputs, outputs, options, custom):
        self.kind = kind  # a builtin operator, or the custom operator's name
        self.inputs, self.outputs = inputs, outputs
        self.options = options  # the builtin options table, or None
        self.custom = custom  # the custom options


def read_tflite(path):
    """(tensors, ops, input, output): tensors as dicts of name, shape, type and constant value
    (None for activations), ops in execution order, and the graph's input and output tensor."""
    data = bytearray(open(path, "rb").read())
    need(data[4:8] == b"TFL3", f"{path} is not a TFLite model")
    try:
        return read_graph(data)
    except (struct.error, IndexError, ValueError) as e:
        need(False, f"{path} is damaged: {e}")


def read_graph(data):
    model = Table(data, flatbuffers.encode.Get(fbn.UOffsetTFlags.packer_type, data, 0))
    kinds = []
    for code in model.tables(1):  # Model.operator_codes
        # OperatorCode: deprecated_builtin_code (byte), custom_code, version, builtin_code (int).
        builtin = max(code.scalar(0, fbn.Int8Flags), code.scalar(3, fbn.Int32Flags))
        kinds.append(code.string(1) if builtin == CUSTOM else builtin)
    buffers = [b.array(0, np.uint8) for b in model.tables(4)]  # Model.buffers: Buffer.data
    graph = model.tables(2)[0]  # Model.subgraphs: the main one
    tensors = []
    for t in graph.tables(0):  # Tensor: shape, type, buffer, name
        kind = t.scalar(1, fbn.Int8Flags)
        need(kind in TENSOR_DTYPES, f"tensor {t.string(3)} has type {kind}")
        shape = [int(d) for d in t.array(0, "<i4")]
        raw = buffers[t.scalar(2, fbn.Uint32Flags)]
        value = raw.view(TENSOR_DTYPES[kind]).reshape(shape) if len(raw) else None
        tensors.append({"name": t.string(3), "shape": shape, "type": kind, "value": value})
    ops = []
    for o in graph.tables(3):  # Operator: opcode, inputs, outputs, options type, options, custom
        ops.append(Op(kinds[o.scalar(0, fbn.Uint32Flags)], [int(i) for i in o.array(1, "<i4")],
                      [int(i) for i in o.array(2, "<i4")], o.table(4), o.array(5, np.uint8)))
    inputs, outputs = graph.array(1, "<i4"), graph.array(2, "<i4")
    need(len(inputs) == 1 and len(outputs) == 1, "the graph must have one input and one output")
    return tensors, ops, int(inputs[0]), int(outputs[0])


def conv_options(op):
    """(padding, stride_h, stride_w) of Conv2DOptions or DepthwiseConv2DOptions."""
    o, depthwise = op.options, op.kind == DEPTHWISE_CONV_2D
    # Conv2D: padding, stride_w, stride_h, activation, dilation_w, dilation_h.
    # Depthwise: padding, stride_w, stride_h, depth_multiplier, activation, dilation_w, dilation_h.
    first = 4 if depthwise else 3
    need(o.scalar(first, fbn.Int8Flags) == 0, "fused activations are not handled")
    dilation = (o.scalar(first + 1, fbn.Int32Flags, 1), o.scalar(first + 2, fbn.Int32Flags, 1))
    need(dilation == (1, 1), "dilated convolutions are not handled")
    need(not depthwise or o.scalar(3, fbn.Int32Flags, 1) == 1, "depth multipliers are not handled")
    return o.scalar(0, fbn.Int8Flags), o.scalar(2, fbn.Int32Flags), o.scalar(1, fbn.Int32Flags)


def transpose_conv_options(op):
    """(padding, stride_h, stride_w) of the transposed convolution's custom options."""
    need(len(op.custom) == 12, "the transposed convolution's options are not three int32")
    padding, stride_w, stride_h = (int(v) for v in np.frombuffer(bytes(op.custom), "<i4"))
    need(padding in CUSTOM_PADDING, f"unknown transposed convolution padding {padding}")
    return CUSTOM_PADDING[padding], stride_h, stride_w


def without_activation(op):
    """ADD and MUL options: fused_activation_function only."""
    return op.options is None or op.options.scalar(0, fbn.Int8Flags) == 0


def conv_padding(padding, size, stride, kernel):
    """The leading and trailing padding of a convolution along one axis."""
    if padding == VALID:
        return 0, 0
    out = -(-size // stride)
    total = max((out - 1) * stride + kernel - size, 0)
    return total // 2, total - total // 2


def steps(start, count, stride):
    """The slice of count positions from start, stride apart."""
    return slice(start, start + (count - 1) * stride + 1, stride)


# ---- The TFLite graph, evaluated as TFLite defines it (NHWC) -------------------------------------
# Both evaluators work in double precision, so that comparing them measures the conversion and
# not the order in which float sums were taken.

def tflite_conv(x, w, b, padding, stride, depthwise):
    """x [1, H, W, Ci]; w [Co, kh, kw, Ci], or [1, kh, kw, C] when depthwise."""
    kh, kw = w.shape[1:3]
    x = np.pad(x, ((0, 0), conv_padding(padding, x.shape[1], stride[0], kh),
                   conv_padding(padding, x.shape[2], stride[1], kw), (0, 0)))
    oh = (x.shape[1] - kh) // stride[0] + 1
    ow = (x.shape[2] - kw) // stride[1] + 1
    out = np.zeros((1, oh, ow, w.shape[3] if depthwise else w.shape[0]))
    for ky in range(kh):
        for kx in range(kw):
            patch = x[:, steps(ky, oh, stride[0]), steps(kx, ow, stride[1]), :]
            if depthwise:
                out += patch * w[0, ky, kx]
            else:
                out += np.einsum("nhwc,oc->nhwo", patch, w[:, ky, kx, :])
    return out + b


def tflite_transpose_conv(x, w, b, padding, stride, out_shape):
    """x [1, H, W, Ci]; w [Co, kh, kw, Ci]: each input pixel adds its weighted kernel to the
    output, stride apart; same padding crops the result to the input size times the stride."""
    _, h, wd, _ = x.shape
    kh, kw = w.shape[1:3]
    full = np.zeros((1, (h - 1) * stride[0] + kh, (wd - 1) * stride[1] + kw, w.shape[0]))
    for ky in range(kh):
        for kx in range(kw):
            full[:, steps(ky, h, stride[0]), steps(kx, wd, stride[1])] += \
                np.einsum("nhwc,oc->nhwo", x, w[:, ky, kx, :])
    oh, ow = (h * stride[0], wd * stride[1]) if padding == SAME else full.shape[1:3]
    top, left = max(full.shape[1] - oh, 0) // 2, max(full.shape[2] - ow, 0) // 2
    out = full[:, top:top + oh, left:left + ow] + b
    need(list(out.shape) == out_shape,
         f"the transposed convolution gives {list(out.shape)}, the graph says {out_shape}")
    return out


def tflite_resize_bilinear(x, size):
    """Half-pixel centres, as TFLite computes them: the source position clamped at the edges."""
    def axis(n_in, n_out):
        src = (np.arange(n_out) + 0.5) * (n_in / n_out) - 0.5
        low = np.floor(src)
        return (np.maximum(low, 0).astype(int), np.minimum(np.ceil(src), n_in - 1).astype(int),
                src - low)
    y0, y1, fy = axis(x.shape[1], size[0])
    x0, x1, fx = axis(x.shape[2], size[1])
    fx = fx[None, None, :, None]
    top = x[:, y0][:, :, x0] + (x[:, y0][:, :, x1] - x[:, y0][:, :, x0]) * fx
    bottom = x[:, y1][:, :, x0] + (x[:, y1][:, :, x1] - x[:, y1][:, :, x0]) * fx
    return top + (bottom - top) * fy[None, :, None, None]


def run_tflite(tensors, ops, inp, image_nhwc):
    """Every tensor's value, by tensor index."""
    values = {k: t["value"] for k, t in enumerate(tensors) if t["value"] is not None}
    values[inp] = image_nhwc.astype(np.float64)
    for op in ops:
        a = [values[i] for i in op.inputs]
        if op.kind == DEQUANTIZE:
            r = a[0]
        elif op.kind in (CONV_2D, DEPTHWISE_CONV_2D):
            padding, sh, sw = conv_options(op)
            r = tflite_conv(a[0], a[1], a[2], padding, (sh, sw), op.kind == DEPTHWISE_CONV_2D)
        elif op.kind == TRANSPOSE_CONV_BIAS:
            padding, sh, sw = transpose_conv_options(op)
            r = tflite_transpose_conv(a[0], a[1], a[2], padding, (sh, sw),
                                      tensors[op.outputs[0]]["shape"])
        elif op.kind == HARD_SWISH:
            r = a[0] * np.clip(a[0] + 3, 0, 6) / 6
        elif op.kind == RELU:
            r = np.maximum(a[0], 0)
        elif op.kind == LOGISTIC:
            r = 1 / (1 + np.exp(-a[0]))
        elif op.kind == MEAN:  # ReducerOptions: keep_dims
            keep = op.options.scalar(0, fbn.Int8Flags) != 0
            r = a[0].mean(axis=tuple(int(v) for v in a[1]), keepdims=keep)
        elif op.kind == ADD and without_activation(op):
            r = a[0] + a[1]
        elif op.kind == MUL and without_activation(op):
            r = a[0] * a[1]
        elif op.kind == RESIZE_BILINEAR:
            r = tflite_resize_bilinear(a[0], [int(v) for v in a[1]])
        else:
            need(False, f"the TFLite graph uses operator {op.kind}, which is not handled")
        values[op.outputs[0]] = r.astype(np.float64)
    return values


# ---- The ONNX graph (NCHW) -----------------------------------------------------------------------

def bilinear_upsample_weights(channels):
    """A 2x bilinear upsample with half-pixel centres as a per-channel transposed convolution of
    the edge-padded input (opset 9 has no half-pixel Resize): an even output takes 1/4 of the
    previous source sample and 3/4 of the current one, an odd output 3/4 of the current and 1/4
    of the next. With stride 2 and this 4-tap kernel, output j of the full result is output j - 3
    of the upsample, so 3 is cropped from each side."""
    taps = np.array([0.25, 0.75, 0.75, 0.25])
    return np.tile(np.outer(taps, taps)[None, None], (channels, 1, 1, 1))


def onnx_name(tensors, inp, out, k):
    """The ONNX name of TFLite tensor k."""
    return {inp: INPUT_NAME, out: OUTPUT_NAME}.get(k, f"t{k}_{tensors[k]['name']}")


def build_onnx(tensors, ops, inp, out):
    nodes, initializers = [], []
    consts = {k: t["value"].astype(np.float32) for k, t in enumerate(tensors)
              if t["value"] is not None and t["type"] in (FLOAT32, FLOAT16)}

    def const(tag, value):
        initializers.append(numpy_helper.from_array(np.ascontiguousarray(value, np.float32), tag))
        return tag

    def node(kind, inputs, output, tag, **attributes):
        nodes.append(helper.make_node(kind, inputs, [output], name=tag, **attributes))

    def name(k):
        return onnx_name(tensors, inp, out, k)

    for op in ops:
        shape_in, shape_out = tensors[op.inputs[0]]["shape"], tensors[op.outputs[0]]["shape"]
        x, y = name(op.inputs[0]), name(op.outputs[0])
        tag = tensors[op.outputs[0]]["name"]
        if op.kind == DEQUANTIZE:  # folded: the weights are stored as float32
            consts[op.outputs[0]] = consts[op.inputs[0]]
        elif op.kind in (CONV_2D, DEPTHWISE_CONV_2D):
            padding, sh, sw = conv_options(op)
            w, b = consts[op.inputs[1]], consts[op.inputs[2]]
            kh, kw = w.shape[1:3]
            top, bottom = conv_padding(padding, shape_in[1], sh, kh)
            left, right = conv_padding(padding, shape_in[2], sw, kw)
            if op.kind == DEPTHWISE_CONV_2D:
                weights, group = w[0].transpose(2, 0, 1)[:, None], w.shape[3]  # [C, 1, kh, kw]
            else:
                weights, group = w.transpose(0, 3, 1, 2), 1  # [Co, Ci, kh, kw]
            node("Conv", [x, const(tag + "/W", weights), const(tag + "/B", b)], y, tag,
                 kernel_shape=[kh, kw], strides=[sh, sw], pads=[top, left, bottom, right],
                 group=group)
        elif op.kind == TRANSPOSE_CONV_BIAS:
            _, sh, sw = transpose_conv_options(op)
            w, b = consts[op.inputs[1]], consts[op.inputs[2]]
            kh, kw = w.shape[1:3]
            crop_h = (shape_in[1] - 1) * sh + kh - shape_out[1]
            crop_w = (shape_in[2] - 1) * sw + kw - shape_out[2]
            weights = w.transpose(3, 0, 1, 2)  # [Ci, Co, kh, kw]
            node("ConvTranspose", [x, const(tag + "/W", weights), const(tag + "/B", b)], y, tag,
                 kernel_shape=[kh, kw], strides=[sh, sw],
                 pads=[crop_h // 2, crop_w // 2, crop_h - crop_h // 2, crop_w - crop_w // 2])
        elif op.kind == HARD_SWISH:  # x * relu6(x + 3) / 6
            node("HardSigmoid", [x], y + "/gate", tag + "/gate", alpha=1 / 6, beta=0.5)
            node("Mul", [x, y + "/gate"], y, tag)
        elif op.kind == RELU:
            node("Relu", [x], y, tag)
        elif op.kind == LOGISTIC:
            node("Sigmoid", [x], y, tag)
        elif op.kind == MEAN:
            axes = sorted(int(v) for v in tensors[op.inputs[1]]["value"])
            need(axes == [1, 2] and op.options.scalar(0, fbn.Int8Flags) != 0,
                 "only a spatial mean that keeps its dimensions is handled")
            node("GlobalAveragePool", [x], y, tag)
        elif op.kind in (ADD, MUL) and without_activation(op):
            # Both operands are activations, so NHWC broadcasting carries over to NCHW.
            need(not any(i in consts for i in op.inputs), "constant operands are not handled")
            node("Add" if op.kind == ADD else "Mul", [x, name(op.inputs[1])], y, tag)
        elif op.kind == RESIZE_BILINEAR:
            # ResizeBilinearOptions: new_height, new_width (both unused), align_corners,
            # half_pixel_centers.
            need(op.options.scalar(2, fbn.Int8Flags) == 0 and op.options.scalar(3, fbn.Int8Flags),
                 "only half-pixel centres are handled")
            need(shape_out[1:3] == [2 * shape_in[1], 2 * shape_in[2]], "only 2x upsampling")
            node("Pad", [x], y + "/edges", tag + "/edges", mode="edge",
                 pads=[0, 0, 1, 1, 0, 0, 1, 1])
            weights = const(tag + "/W", bilinear_upsample_weights(shape_in[3]))
            node("ConvTranspose", [y + "/edges", weights], y, tag, kernel_shape=[4, 4],
                 strides=[2, 2], pads=[3, 3, 3, 3], group=shape_in[3])
        else:
            need(False, f"the TFLite graph uses operator {op.kind}, which is not handled")
    graph = helper.make_graph(
        nodes, "matting",
        [helper.make_tensor_value_info(INPUT_NAME, TensorProto.FLOAT, ["N", 3, HEIGHT, WIDTH])],
        [helper.make_tensor_value_info(OUTPUT_NAME, TensorProto.FLOAT, ["N", 1, HEIGHT, WIDTH])],
        initializers)
    model = helper.make_model(graph, opset_imports=[helper.make_opsetid("", OPSET)],
                              producer_name="quillhaven matting_model.py")
    model.ir_version = IR_VERSION
    onnx.checker.check_model(model)
    return model


# ---- The ONNX graph, evaluated as ONNX defines it (NCHW) -----------------------------------------

def onnx_conv(x, w, b, strides, pads, group):
    """x [N, C, H, W]; w [Co, C / group, kh, kw]; pads [top, left, bottom, right]."""
    n = x.shape[0]
    co, cg, kh, kw = w.shape
    x = np.pad(x, ((0, 0), (0, 0), (pads[0], pads[2]), (pads[1], pads[3])))
    oh = (x.shape[2] - kh) // strides[0] + 1
    ow = (x.shape[3] - kw) // strides[1] + 1
    xg = x.reshape(n, group, cg, x.shape[2], x.shape[3])
    wg = w.reshape(group, co // group, cg, kh, kw)
    out = np.zeros((n, group, co // group, oh, ow))
    for ky in range(kh):
        for kx in range(kw):
            patch = xg[..., steps(ky, oh, strides[0]), steps(kx, ow, strides[1])]
            out += np.einsum("ngchw,goc->ngohw", patch, wg[..., ky, kx])
    return out.reshape(n, co, oh, ow) + b[None, :, None, None]


def onnx_conv_transpose(x, w, b, strides, pads, group):
    """x [N, C, H, W]; w [C, Co / group, kh, kw]; pads crop [top, left, bottom, right]."""
    n, c, h, wd = x.shape
    _, cog, kh, kw = w.shape
    xg = x.reshape(n, group, c // group, h, wd)
    wg = w.reshape(group, c // group, cog, kh, kw)
    full = np.zeros((n, group, cog, (h - 1) * strides[0] + kh, (wd - 1) * strides[1] + kw))
    for ky in range(kh):
        for kx in range(kw):
            full[..., steps(ky, h, strides[0]), steps(kx, wd, strides[1])] += \
                np.einsum("ngchw,gco->ngohw", xg, wg[..., ky, kx])
    full = full.reshape(n, group * cog, full.shape[3], full.shape[4])
    out = full[:, :, pads[0]:full.shape[2] - pads[2], pads[1]:full.shape[3] - pads[3]]
    return out if b is None else out + b[None, :, None, None]


def run_onnx(model, image_nchw):
    """Every tensor's value, by name."""
    values = {i.name: numpy_helper.to_array(i).astype(np.float64) for i in model.graph.initializer}
    values[model.graph.input[0].name] = image_nchw.astype(np.float64)
    for n in model.graph.node:
        a = [values[i] for i in n.input]
        at = {attribute.name: helper.get_attribute_value(attribute) for attribute in n.attribute}
        if n.op_type == "Conv":
            r = onnx_conv(a[0], a[1], a[2], at["strides"], at["pads"], at.get("group", 1))
        elif n.op_type == "ConvTranspose":
            r = onnx_conv_transpose(a[0], a[1], a[2] if len(a) > 2 else None, at["strides"],
                                    at["pads"], at.get("group", 1))
        elif n.op_type == "Pad" and at["mode"] == b"edge":
            p = at["pads"]
            r = np.pad(a[0], [(p[i], p[i + 4]) for i in range(4)], mode="edge")
        elif n.op_type == "HardSigmoid":
            r = np.clip(at["alpha"] * a[0] + at["beta"], 0, 1)
        elif n.op_type == "Relu":
            r = np.maximum(a[0], 0)
        elif n.op_type == "Sigmoid":
            r = 1 / (1 + np.exp(-a[0]))
        elif n.op_type == "GlobalAveragePool":
            r = a[0].mean(axis=(2, 3), keepdims=True)
        elif n.op_type == "Add":
            r = a[0] + a[1]
        elif n.op_type == "Mul":
            r = a[0] * a[1]
        else:
            need(False, f"the ONNX graph holds {n.op_type}, which the evaluator does not know")
        values[n.output[0]] = r
    return values


# ---- Conversion and check ------------------------------------------------------------------------

def test_images():
    """Fixed RGB images in 0..1 as [1, H, W, 3] (noise, a smooth colour gradient, a drawn head
    and shoulders on a pale wall), and the mask of the drawn figure."""
    noise = np.random.default_rng(128).random((HEIGHT, WIDTH, 3))
    yy, xx = np.meshgrid((np.arange(HEIGHT) + 0.5) / HEIGHT, (np.arange(WIDTH) + 0.5) / WIDTH,
                         indexing="ij")
    gradient = np.stack([xx, yy, 0.5 + 0.5 * np.sin(6 * xx * yy)], axis=-1)
    y, x = yy * HEIGHT, xx * WIDTH
    head = ((x - 128) / 22) ** 2 + ((y - 52) / 28) ** 2 < 1
    hair = (((x - 128) / 24) ** 2 + ((y - 44) / 24) ** 2 < 1) & (y < 40)
    body = ((x - 128) / 70) ** 2 + ((y - 150) / 55) ** 2 < 1
    figure = np.empty((HEIGHT, WIDTH, 3))
    figure[:] = (0.75, 0.8, 0.85)
    figure[body] = (0.15, 0.2, 0.45)
    figure[head] = (0.87, 0.68, 0.55)
    figure[hair] = (0.2, 0.12, 0.08)
    images = [image[None].astype(np.float32) for image in (noise, gradient, figure)]
    return images, head | hair | body


def compare(tensors, ops, inp, out, model, image):
    """The largest difference between the two graphs over every tensor both compute, each
    measured against its own scale (at least 1), and the ONNX graph's alphas."""
    expected = run_tflite(tensors, ops, inp, image)
    got = run_onnx(model, np.ascontiguousarray(image.transpose(0, 3, 1, 2)))
    worst = 0.0
    for op in ops:
        if op.kind == DEQUANTIZE:
            continue
        k = op.outputs[0]
        e, g = expected[k].transpose(0, 3, 1, 2), got[onnx_name(tensors, inp, out, k)]
        need(g.shape == e.shape, f"{tensors[k]['name']} is {g.shape} in ONNX, {e.shape} in TFLite")
        worst = max(worst, float(np.abs(g - e).max()) / max(1.0, float(np.abs(e).max())))
    return worst, got[OUTPUT_NAME][0, 0]


def main():
    need(len(sys.argv) == 3, "usage: matting_model.py <model.tflite> <out.onnx>")
    source, target = sys.argv[1:]
    tensors, ops, inp, out = read_tflite(source)
    need(tensors[inp]["shape"] == [1, HEIGHT, WIDTH, 3]
         and tensors[out]["shape"] == [1, HEIGHT, WIDTH, 1],
         f"{source} maps {tensors[inp]['shape']} to {tensors[out]['shape']}, "
         f"not [1, {HEIGHT}, {WIDTH}, 3] to [1, {HEIGHT}, {WIDTH}, 1]")
    serialized = build_onnx(tensors, ops, inp, out).SerializeToString()
    model = onnx.load_from_string(serialized)
    images, person = test_images()
    worst = 0.0
    with np.errstate(over="ignore"):  # the sigmoid of a large negative number is 0
        for image in images:
            difference, alphas = compare(tensors, ops, inp, out, model, image)
            worst = max(worst, difference)
    need(worst < TOLERANCE,
         f"the ONNX graph differs from the TFLite graph by {worst:.3g} (allowed {TOLERANCE})")
    # The single output channel is the person's probability, though the TFLite file names it
    # "segment_back": the drawn figure (the last image) must come out near 1 and the wall near 0,
    # or the studio would cut out the person and keep the background.
    inside, outside = float(alphas[person].mean()), float(alphas[~person].mean())
    need(inside > 0.8 and outside < 0.2,
         f"the drawn person is not found: mean {inside:.2f} on the figure, {outside:.2f} beside it")
    with open(target, "wb") as f:
        f.write(serialized)
    print(f"matting model: {len(ops)} TFLite operators -> {len(model.graph.node)} ONNX nodes, "
          f"largest difference {worst:.2g}, mean alpha {inside:.2f} on a drawn person and "
          f"{outside:.2f} beside it")


if __name__ == "__main__":
    main()
