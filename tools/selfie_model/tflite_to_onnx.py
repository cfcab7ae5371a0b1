#!/usr/bin/python3
"""Converts the selfie segmentation network from TFLite to ONNX.

    tflite_to_onnx.py MODEL.tflite MODEL.onnx

The .tflite file is a flatbuffer of the public TFLite schema; the few tables
the network uses are read here with the flatbuffers Table API. The ONNX graph
is NCHW throughout, input [1, 3, H, W] (RGB in [0, 1]) and output
[1, 1, H, W] (the person's probability), and sticks to operations that
OpenCV 4.6's cv::dnn::readNetFromONNX runs.

TFLite keeps activations as NHWC, convolution weights as OHWI, depthwise
weights as 1HWO and the transposed convolution's weights as OHWI; every
weight is turned to ONNX's OIHW (IOHW for ConvTranspose) here. Weights stored
as float16 behind DEQUANTIZE operators are folded to float32 constants.
"""

import struct
import sys

import flatbuffers
import numpy as np
import onnx
from flatbuffers import number_types as fbn
from flatbuffers.table import Table
from onnx import TensorProto, helper, numpy_helper

# BuiltinOperator codes of the TFLite schema.
ADD = 0
AVERAGE_POOL_2D = 1
CONV_2D = 3
DEPTHWISE_CONV_2D = 4
DEQUANTIZE = 6
LOGISTIC = 14
MEAN = 40
MUL = 18
RELU = 19
RELU6 = 21
RESIZE_BILINEAR = 23
CUSTOM = 32
HARD_SWISH = 117

OPERATOR_NAMES = {
    ADD: "ADD", AVERAGE_POOL_2D: "AVERAGE_POOL_2D", CONV_2D: "CONV_2D",
    DEPTHWISE_CONV_2D: "DEPTHWISE_CONV_2D", DEQUANTIZE: "DEQUANTIZE", LOGISTIC: "LOGISTIC",
    MEAN: "MEAN", MUL: "MUL", RELU: "RELU", RELU6: "RELU6", RESIZE_BILINEAR: "RESIZE_BILINEAR",
    HARD_SWISH: "HARD_SWISH",
}

# TensorType.
FLOAT32 = 0
FLOAT16 = 1
INT32 = 2
NUMPY_TYPES = {FLOAT32: np.float32, FLOAT16: np.float16, INT32: np.int32}

# Padding of the builtin options, and the TfLitePadding enum that custom
# operations store raw.
PADDING_SAME = 0
PADDING_VALID = 1
TFLITE_PADDING_SAME = 1
TFLITE_PADDING_VALID = 2

# ActivationFunctionType.
ACT_NONE = 0
ACT_RELU = 1
ACT_RELU6 = 3


class ConversionError(Exception):
    pass


# -- Flatbuffer tables -------------------------------------------------------


class FbTable:
    """One table of the flatbuffer; fields are read by their schema index."""

    def __init__(self, buf, pos):
        self.t = Table(buf, pos)

    def _offset(self, field):
        return self.t.Offset(4 + 2 * field)

    def scalar(self, field, flags, default=0):
        o = self._offset(field)
        return self.t.Get(flags, o + self.t.Pos) if o else default

    def string(self, field):
        o = self._offset(field)
        return self.t.String(o + self.t.Pos).decode() if o else None

    def table(self, field):
        o = self._offset(field)
        return FbTable(self.t.Bytes, self.t.Indirect(o + self.t.Pos)) if o else None

    def tables(self, field):
        o = self._offset(field)
        if not o:
            return []
        start = self.t.Vector(o)
        return [FbTable(self.t.Bytes, self.t.Indirect(start + 4 * k))
                for k in range(self.t.VectorLen(o))]

    def numbers(self, field, flags):
        o = self._offset(field)
        return self.t.GetVectorAsNumpy(flags, o) if o else np.zeros(0, np.int32)

    def ints(self, field):
        return [int(v) for v in self.numbers(field, fbn.Int32Flags)]

    def bytes(self, field):
        o = self._offset(field)
        return bytes(self.t.GetVectorAsNumpy(fbn.Uint8Flags, o)) if o else b""


class Tensor:
    def __init__(self, index, fb, buffers):
        self.index = index
        self.shape = fb.ints(0)
        self.type = fb.scalar(1, fbn.Int8Flags)
        self.name = fb.string(3) or f"tensor{index}"
        data = buffers[fb.scalar(2, fbn.Uint32Flags)]
        self.data = None
        if data:
            if self.type not in NUMPY_TYPES:
                raise ConversionError(f"tensor {self.name}: unsupported type {self.type}")
            self.data = np.frombuffer(data, NUMPY_TYPES[self.type]).reshape(self.shape)


class Operator:
    def __init__(self, fb, codes):
        code = codes[fb.scalar(0, fbn.Uint32Flags)]
        # builtin_code (field 3) replaced the int8 deprecated_builtin_code
        # (field 0); files carry the larger of the two.
        self.code = max(code.scalar(0, fbn.Int8Flags), code.scalar(3, fbn.Int32Flags))
        self.custom_code = code.string(1)
        self.inputs = fb.ints(1)
        self.outputs = fb.ints(2)
        self.options = fb.table(4)
        self.custom_options = fb.bytes(5)

    def option(self, field, flags=fbn.Int32Flags, default=0):
        return self.options.scalar(field, flags, default) if self.options else default


def read_model(path):
    with open(path, "rb") as f:
        buf = bytearray(f.read())
    if buf[4:8] != b"TFL3":
        raise ConversionError(f"{path}: not a TFLite flatbuffer")
    model = FbTable(buf, flatbuffers.encode.Get(fbn.UOffsetTFlags.packer_type, buf, 0))
    codes = model.tables(1)
    subgraphs = model.tables(2)
    if len(subgraphs) != 1:
        raise ConversionError(f"{path}: {len(subgraphs)} subgraphs, one expected")
    buffers = [b.bytes(0) for b in model.tables(4)]
    graph = subgraphs[0]
    tensors = [Tensor(k, t, buffers) for k, t in enumerate(graph.tables(0))]
    operators = [Operator(op, codes) for op in graph.tables(3)]
    return tensors, graph.ints(1), graph.ints(2), operators


# -- ONNX graph --------------------------------------------------------------


def same_padding(size, kernel, stride, dilation=1):
    """TensorFlow's SAME padding along one axis: (begin, end)."""
    effective = (kernel - 1) * dilation + 1
    out = (size + stride - 1) // stride
    total = max((out - 1) * stride + effective - size, 0)
    return total // 2, total - total // 2


class Converter:
    def __init__(self, tensors):
        self.tensors = tensors
        self.nodes = []
        self.initializers = []
        self.constants = {}  # tensor index -> float32/int32 array (TFLite layout)
        self.names = {}  # tensor index -> ONNX value name
        self.used_names = set()
        self.ops_seen = set()
        for t in tensors:
            if t.data is not None:
                self.constants[t.index] = t.data

    def unique(self, name):
        base = "".join(c if c.isalnum() or c in "_/." else "_" for c in name)
        name, k = base, 1
        while name in self.used_names:
            name, k = f"{base}_{k}", k + 1
        self.used_names.add(name)
        return name

    def value(self, index):
        if index in self.names:
            return self.names[index]
        if index in self.constants:
            return self.constant(self.tensors[index].name, to_nchw(self.constants[index]))
        raise ConversionError(f"tensor {self.tensors[index].name} is read before it is written")

    def output(self, index):
        self.names[index] = self.unique(self.tensors[index].name)
        return self.names[index]

    def constant(self, name, array):
        name = self.unique(name)
        self.initializers.append(numpy_helper.from_array(array, name))
        return name

    def node(self, op_type, inputs, outputs, **attrs):
        self.nodes.append(helper.make_node(op_type, inputs, outputs,
                                           name=self.unique(outputs[0] + "_" + op_type),
                                           **attrs))

    def activation(self, op, result_index, fused):
        """Emits op producing `result_index`, then its fused activation."""
        out = self.output(result_index)
        if fused == ACT_NONE:
            return out
        raw = self.unique(out + "_raw")
        if fused == ACT_RELU:
            self.node("Relu", [raw], [out])
        elif fused == ACT_RELU6:
            self.node("Clip", [raw, self.constant(out + "_min", np.array(0, np.float32)),
                               self.constant(out + "_max", np.array(6, np.float32))], [out])
        else:
            raise ConversionError(f"fused activation {fused} is not handled")
        return raw

    def shape(self, index):
        return self.tensors[index].shape

    def pads(self, op, padding_same, kernel_h, kernel_w, stride_h, stride_w, dil_h=1, dil_w=1):
        _, h, w, _ = self.shape(op.inputs[0])
        if not padding_same:
            return [0, 0, 0, 0]
        top, bottom = same_padding(h, kernel_h, stride_h, dil_h)
        left, right = same_padding(w, kernel_w, stride_w, dil_w)
        return [top, left, bottom, right]

    def convert(self, op):
        self.ops_seen.add(op.custom_code or OPERATOR_NAMES.get(op.code, str(op.code)))
        handler = {
            DEQUANTIZE: self.dequantize,
            CONV_2D: self.conv,
            DEPTHWISE_CONV_2D: self.depthwise_conv,
            AVERAGE_POOL_2D: self.average_pool,
            MEAN: self.mean,
            ADD: lambda op: self.binary(op, "Add"),
            MUL: lambda op: self.binary(op, "Mul"),
            RELU: lambda op: self.unary(op, "Relu"),
            LOGISTIC: lambda op: self.unary(op, "Sigmoid"),
            HARD_SWISH: lambda op: self.unary(op, "HardSwish"),
            RESIZE_BILINEAR: self.resize_bilinear,
        }.get(op.code)
        if op.code == CUSTOM and op.custom_code == "Convolution2DTransposeBias":
            handler = self.transpose_conv_bias
        if handler is None:
            raise ConversionError(f"operator {op.custom_code or OPERATOR_NAMES.get(op.code, op.code)}"
                                  " is not handled")
        handler(op)

    def dequantize(self, op):
        src = op.inputs[0]
        if src not in self.constants:
            raise ConversionError("DEQUANTIZE of a non-constant tensor")
        self.constants[op.outputs[0]] = self.constants[src].astype(np.float32)

    def weight(self, index):
        if index < 0:
            raise ConversionError("an operator lacks its weights or bias")
        if index not in self.constants:
            raise ConversionError(f"weights {self.tensors[index].name} are not constant")
        return self.constants[index].astype(np.float32)

    def conv(self, op):
        w = self.weight(op.inputs[1])  # OHWI
        b = self.weight(op.inputs[2])
        padding, stride_w, stride_h = (op.option(0, fbn.Int8Flags), op.option(1), op.option(2))
        fused = op.option(3, fbn.Int8Flags)
        dil_w, dil_h = op.option(4, default=1), op.option(5, default=1)
        kh, kw = w.shape[1], w.shape[2]
        pads = self.pads(op, padding == PADDING_SAME, kh, kw, stride_h, stride_w, dil_h, dil_w)
        x = self.value(op.inputs[0])
        wname = self.constant(self.tensors[op.inputs[1]].name, w.transpose(0, 3, 1, 2).copy())
        bname = self.constant(self.tensors[op.inputs[2]].name, b)
        out = self.activation(op, op.outputs[0], fused)
        self.node("Conv", [x, wname, bname], [out], kernel_shape=[kh, kw],
                  strides=[stride_h, stride_w], dilations=[dil_h, dil_w], pads=pads, group=1)

    def depthwise_conv(self, op):
        w = self.weight(op.inputs[1])  # 1HWO
        b = self.weight(op.inputs[2])
        padding, stride_w, stride_h = (op.option(0, fbn.Int8Flags), op.option(1), op.option(2))
        fused = op.option(4, fbn.Int8Flags)
        dil_w, dil_h = op.option(5, default=1), op.option(6, default=1)
        kh, kw, out_channels = w.shape[1], w.shape[2], w.shape[3]
        in_channels = self.shape(op.inputs[0])[3]
        if out_channels % in_channels:
            raise ConversionError(f"depthwise convolution of {in_channels} channels to "
                                  f"{out_channels}")
        pads = self.pads(op, padding == PADDING_SAME, kh, kw, stride_h, stride_w, dil_h, dil_w)
        x = self.value(op.inputs[0])
        wname = self.constant(self.tensors[op.inputs[1]].name,
                              w.transpose(3, 0, 1, 2).copy())  # O1HW
        bname = self.constant(self.tensors[op.inputs[2]].name, b)
        out = self.activation(op, op.outputs[0], fused)
        self.node("Conv", [x, wname, bname], [out], kernel_shape=[kh, kw],
                  strides=[stride_h, stride_w], dilations=[dil_h, dil_w], pads=pads,
                  group=in_channels)

    def average_pool(self, op):
        padding, stride_w, stride_h = (op.option(0, fbn.Int8Flags), op.option(1), op.option(2))
        fw, fh, fused = op.option(3), op.option(4), op.option(5, fbn.Int8Flags)
        _, h, w, _ = self.shape(op.inputs[0])
        x = self.value(op.inputs[0])
        out = self.activation(op, op.outputs[0], fused)
        out_shape = self.shape(op.outputs[0])
        if out_shape[1] == 1 and out_shape[2] == 1 and fh >= h and fw >= w and \
                (padding == PADDING_VALID or (fh == h and fw == w)):
            self.node("GlobalAveragePool", [x], [out])
            return
        if padding == PADDING_SAME:
            raise ConversionError("average pooling with SAME padding is not handled")
        self.node("AveragePool", [x], [out], kernel_shape=[fh, fw], strides=[stride_h, stride_w],
                  pads=[0, 0, 0, 0])

    def mean(self, op):
        axes = self.constants.get(op.inputs[1])
        keep_dims = op.option(0, fbn.BoolFlags, False)
        if axes is None or sorted(int(a) for a in axes.ravel()) != [1, 2] or not keep_dims:
            raise ConversionError("MEAN other than over the picture with kept dimensions")
        self.node("GlobalAveragePool", [self.value(op.inputs[0])], [self.output(op.outputs[0])])

    def binary(self, op, op_type):
        a, b = op.inputs
        fused = op.option(0, fbn.Int8Flags)
        if self.shape(a) != self.shape(b) and len(self.shape(a)) == 4 == len(self.shape(b)):
            # Broadcasting of a [1, 1, 1, C] operand: OpenCV wants the
            # larger operand first.
            if np.prod(self.shape(a)) < np.prod(self.shape(b)):
                a, b = b, a
        names = [self.value(a), self.value(b)]
        out = self.activation(op, op.outputs[0], fused)
        self.node(op_type, names, [out])

    def unary(self, op, op_type):
        x = self.value(op.inputs[0])
        self.node(op_type, [x], [self.output(op.outputs[0])])

    def resize_bilinear(self, op):
        size = self.constants.get(op.inputs[1])
        if size is None:
            raise ConversionError("RESIZE_BILINEAR with a computed size")
        align_corners = op.option(2, fbn.BoolFlags, False)
        half_pixel = op.option(3, fbn.BoolFlags, False)
        mode = ("align_corners" if align_corners else
                "half_pixel" if half_pixel else "asymmetric")
        n, _, _, c = self.shape(op.inputs[0])
        x = self.value(op.inputs[0])
        out = self.output(op.outputs[0])
        roi = self.constant(out + "_roi", np.zeros(0, np.float32))
        scales = self.constant(out + "_scales", np.zeros(0, np.float32))
        sizes = self.constant(out + "_sizes", np.array([n, c, size[0], size[1]], np.int64))
        self.node("Resize", [x, roi, scales, sizes], [out], mode="linear",
                  coordinate_transformation_mode=mode)

    def transpose_conv_bias(self, op):
        # The options are a raw TfLiteTransposeConvParams: padding, stride_w,
        # stride_h as three int32.
        padding, stride_w, stride_h = struct.unpack_from("<3i", op.custom_options)
        w = self.weight(op.inputs[1])  # OHWI
        b = self.weight(op.inputs[2])
        _, kh, kw, _ = w.shape
        _, h, wd, _ = self.shape(op.inputs[0])
        _, out_h, out_w, _ = self.shape(op.outputs[0])
        if padding == TFLITE_PADDING_SAME:
            pads = []
            for size, out_size, k, s in ((h, out_h, kh, stride_h), (wd, out_w, kw, stride_w)):
                total = max((size - 1) * s + k - out_size, 0)
                pads.append((total // 2, total - total // 2))
            pad_list = [pads[0][0], pads[1][0], pads[0][1], pads[1][1]]
        elif padding == TFLITE_PADDING_VALID:
            pad_list = [0, 0, 0, 0]
        else:
            raise ConversionError(f"transposed convolution padding {padding}")
        extra = [out_h - ((h - 1) * stride_h + kh - pad_list[0] - pad_list[2]),
                 out_w - ((wd - 1) * stride_w + kw - pad_list[1] - pad_list[3])]
        if min(extra) < 0:
            raise ConversionError("transposed convolution output is smaller than its kernel gives")
        x = self.value(op.inputs[0])
        wname = self.constant(self.tensors[op.inputs[1]].name, w.transpose(3, 0, 1, 2).copy())
        bname = self.constant(self.tensors[op.inputs[2]].name, b)
        attrs = dict(kernel_shape=[kh, kw], strides=[stride_h, stride_w], pads=pad_list)
        if max(extra) > 0:
            attrs["output_padding"] = extra
        self.node("ConvTranspose", [x, wname, bname], [self.output(op.outputs[0])], **attrs)


def to_nchw(array):
    return array.transpose(0, 3, 1, 2).copy() if array.ndim == 4 else array


def nchw(shape):
    return [shape[0], shape[3], shape[1], shape[2]] if len(shape) == 4 else shape


def convert(tflite_path, onnx_path):
    tensors, inputs, outputs, operators = read_model(tflite_path)
    conv = Converter(tensors)
    graph_inputs = []
    for index in inputs:
        t = tensors[index]
        if t.type != FLOAT32:
            raise ConversionError(f"input {t.name} is not float32")
        graph_inputs.append(helper.make_tensor_value_info(conv.output(index), TensorProto.FLOAT,
                                                          nchw(t.shape)))
    for op in operators:
        conv.convert(op)
    graph_outputs = [helper.make_tensor_value_info(conv.value(index), TensorProto.FLOAT,
                                                   nchw(tensors[index].shape))
                     for index in outputs]
    graph = helper.make_graph(conv.nodes, "selfie_segmentation", graph_inputs, graph_outputs,
                              conv.initializers)
    model = helper.make_model(graph, producer_name="lumora tflite_to_onnx",
                              opset_imports=[helper.make_opsetid("", 14)])
    onnx.checker.check_model(model)
    onnx.save(model, onnx_path)
    return len(conv.nodes), sorted(conv.ops_seen)


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    try:
        nodes, ops = convert(argv[1], argv[2])
    except (ConversionError, OSError) as error:
        print(f"tflite_to_onnx: {error}", file=sys.stderr)
        return 1
    print(f"{argv[2]}: {nodes} nodes from TFLite operators {', '.join(ops)}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
