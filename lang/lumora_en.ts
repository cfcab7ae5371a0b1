<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>BackgroundView</name>
    <message>
        <source>浅灰</source>
        <translation>Light grey</translation>
    </message>
    <message>
        <source>深蓝</source>
        <translation>Dark blue</translation>
    </message>
    <message>
        <source>绿幕</source>
        <translation>Green screen</translation>
    </message>
    <message>
        <source>纯白</source>
        <translation>White</translation>
    </message>
    <message>
        <source>选择背景图片</source>
        <translation>Choose a background picture</translation>
    </message>
    <message>
        <source>图片文件 (*.png *.jpg *.jpeg *.bmp *.gif *.webp)</source>
        <translation>Pictures (*.png *.jpg *.jpeg *.bmp *.gif *.webp)</translation>
    </message>
    <message>
        <source>背景效果：</source>
        <translation>Background:</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>背景虚化</source>
        <translation>Blur</translation>
    </message>
    <message>
        <source>背景替换</source>
        <translation>Replace</translation>
    </message>
    <message>
        <source>虚化程度：</source>
        <translation>Blur level:</translation>
    </message>
    <message>
        <source>轻度</source>
        <translation>Light</translation>
    </message>
    <message>
        <source>中度</source>
        <translation>Medium</translation>
    </message>
    <message>
        <source>重度</source>
        <translation>Strong</translation>
    </message>
    <message>
        <source>自选图片</source>
        <translation>My picture</translation>
    </message>
    <message>
        <source>替换为：</source>
        <translation>Replace with:</translation>
    </message>
    <message>
        <source>背景分割模型无法载入，背景效果不可用。</source>
        <translation>The person-segmentation model cannot be loaded, so background effects are unavailable.</translation>
    </message>
    <message>
        <source>无法读取图片：%1</source>
        <translation>Cannot read the picture: %1</translation>
    </message>
    <message>
        <source>未选择图片</source>
        <translation>No picture chosen</translation>
    </message>
</context>
<context>
    <name>BugReportWindow</name>
    <message>
        <source>Lumora直播伴侣 出错报告</source>
        <translation>Lumora Live Companion crash report</translation>
    </message>
    <message>
        <source>Lumora直播伴侣意外退出了。下面是出错报告，它已保存在：</source>
        <translation>Lumora Live Companion quit unexpectedly. This is the crash report; it was saved in:</translation>
    </message>
    <message>
        <source>报告无法读取。</source>
        <translation>The report cannot be read.</translation>
    </message>
    <message>
        <source>打开所在文件夹</source>
        <translation>Open its folder</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>CameraControlView</name>
    <message>
        <source>虚拟摄像头无法使用：</source>
        <translation>Virtual camera unavailable: </translation>
    </message>
    <message>
        <source>瘦脸塑身：</source>
        <translation>Face slimming:</translation>
    </message>
    <message>
        <source>开启</source>
        <translation>On</translation>
    </message>
    <message>
        <source>高清输出时，摄像头按输出画质的大小采集</source>
        <translation>In the HD modes the camera captures at the output size</translation>
    </message>
    <message>
        <source>输出画质：</source>
        <translation>Output:</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>正在录制。更改输出画质会先停止并保留这段录制，是否继续？</source>
        <translation>Recording is in progress. Changing the output quality stops and keeps this recording first. Continue?</translation>
    </message>
    <message>
        <source>选择摄像头1：</source>
        <translation>Camera 1:</translation>
    </message>
    <message>
        <source>选择摄像头2：</source>
        <translation>Camera 2:</translation>
    </message>
    <message>
        <source>采集分辨率：  </source>
        <translation>Capture size:</translation>
    </message>
    <message>
        <source>摄像头画质：</source>
        <translation>Camera settings:</translation>
    </message>
    <message>
        <source>Lumora直播伴侣</source>
        <translation>Lumora Live Companion</translation>
    </message>
    <message>
        <source>未检测到设备</source>
        <translation>No camera found</translation>
    </message>
</context>
<context>
    <name>CaptionView</name>
    <message>
        <source>这里输入字幕</source>
        <translation>Type your caption here</translation>
    </message>
    <message>
        <source>字体类型：</source>
        <translation>Font:</translation>
    </message>
    <message>
        <source>字体大小：</source>
        <translation>Size:</translation>
    </message>
    <message>
        <source>静止</source>
        <translation>Still</translation>
    </message>
    <message>
        <source>向右滚动</source>
        <translation>Scroll right</translation>
    </message>
    <message>
        <source>向左滚动</source>
        <translation>Scroll left</translation>
    </message>
    <message>
        <source>滚动方式：</source>
        <translation>Motion:</translation>
    </message>
    <message>
        <source>开启</source>
        <translation>On</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>字幕显示：</source>
        <translation>Caption:</translation>
    </message>
    <message>
        <source>字体颜色：</source>
        <translation>Text colour:</translation>
    </message>
    <message>
        <source>背景颜色：</source>
        <translation>Band colour:</translation>
    </message>
    <message>
        <source>背景透明：</source>
        <translation>Band transparency:</translation>
    </message>
</context>
<context>
    <name>CustomFileDialog</name>
    <message>
        <source>……等 %1 个</source>
        <translation>… and %1 more</translation>
    </message>
    <message>
        <source>找不到以下文件，未添加：</source>
        <translation>These files were not found and were not added:</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
</context>
<context>
    <name>DesktopTrash</name>
    <message>
        <source>无法建立回收站文件夹 %1</source>
        <translation>The trash folder %1 could not be made</translation>
    </message>
</context>
<context>
    <name>ListPage</name>
    <message>
        <source>随机播放</source>
        <translation>Shuffle</translation>
    </message>
    <message>
        <source>列表循环</source>
        <translation>Repeat all</translation>
    </message>
</context>
<context>
    <name>LiveControlView</name>
    <message>
        <source>服务器：</source>
        <translation>Server:</translation>
    </message>
    <message>
        <source>推流密钥：</source>
        <translation>Stream key:</translation>
    </message>
    <message>
        <source>码率：</source>
        <translation>Bit rate:</translation>
    </message>
    <message>
        <source>状态：</source>
        <translation>State:</translation>
    </message>
    <message>
        <source>直播时长：</source>
        <translation>Time live:</translation>
    </message>
    <message>
        <source>实际码率：</source>
        <translation>Rate sent:</translation>
    </message>
    <message>
        <source>丢弃画面：</source>
        <translation>Left out:</translation>
    </message>
    <message>
        <source>推流密钥未能保存，本次直播仍会使用它。</source>
        <translation>The stream key could not be saved; this stream still uses it.</translation>
    </message>
    <message>
        <source>推流密钥保存在桌面的密钥环中。</source>
        <translation>The stream key is kept in the desktop&apos;s keyring.</translation>
    </message>
    <message>
        <source>没有密钥环服务，推流密钥保存在只有您能读写的文件 %1 中。</source>
        <translation>No keyring service runs: the stream key is kept in %1, a file only you can read or write.</translation>
    </message>
    <message>
        <source>（无声音：没有麦克风）</source>
        <translation> (no sound: no microphone)</translation>
    </message>
    <message>
        <source>正在结束直播…</source>
        <translation>Ending the stream…</translation>
    </message>
    <message>
        <source>%1 kbit/s</source>
        <translation>%1 kbit/s</translation>
    </message>
    <message>
        <source>服务器地址无效</source>
        <translation>the server address is not valid</translation>
    </message>
    <message>
        <source>找不到服务器</source>
        <translation>the server cannot be found</translation>
    </message>
    <message>
        <source>服务器拒绝连接</source>
        <translation>the server refused the connection</translation>
    </message>
    <message>
        <source>服务器拒绝了推流密钥</source>
        <translation>the server refused the stream key</translation>
    </message>
    <message>
        <source>加密连接失败</source>
        <translation>the secure connection failed</translation>
    </message>
    <message>
        <source>服务器没有应答</source>
        <translation>the server does not answer</translation>
    </message>
    <message>
        <source>推流失败</source>
        <translation>streaming failed</translation>
    </message>
    <message>
        <source>连接中</source>
        <translation>Connecting</translation>
    </message>
    <message>
        <source>直播中</source>
        <translation>Live</translation>
    </message>
    <message>
        <source>重新连接中</source>
        <translation>Reconnecting</translation>
    </message>
    <message>
        <source>已停止</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>已停止：%1</source>
        <translation>Stopped: %1</translation>
    </message>
    <message>
        <source>未直播</source>
        <translation>Not live</translation>
    </message>
</context>
<context>
    <name>LoopbackSetupRow</name>
    <message>
        <source>一键设置</source>
        <translation>Set up</translation>
    </message>
    <message>
        <source>开机时自动创建</source>
        <translation>Create them at every boot</translation>
    </message>
    <message>
        <source>还没有 v4l2loopback 虚拟摄像头设备，多数视频通话程序看不到虚拟摄像头。</source>
        <translation>There are no v4l2loopback virtual camera devices yet, so most video call programs cannot see the virtual camera.</translation>
    </message>
    <message>
        <source>要让所有程序都能使用虚拟摄像头，请安装 v4l2loopback-dkms 软件包：</source>
        <translation>For every program to see the virtual camera, install the v4l2loopback-dkms package: </translation>
    </message>
    <message>
        <source>虚拟摄像头设备已创建</source>
        <translation>The virtual camera devices were created</translation>
    </message>
    <message>
        <source>没有获得授权，虚拟摄像头设备没有创建</source>
        <translation>Not authorized: the virtual camera devices were not created</translation>
    </message>
    <message>
        <source>身份验证已取消，虚拟摄像头设备没有创建</source>
        <translation>Authentication was cancelled: the virtual camera devices were not created</translation>
    </message>
    <message>
        <source>没有可用的身份验证程序（polkit 代理），虚拟摄像头设备没有创建</source>
        <translation>No authentication agent (polkit agent) is running: the virtual camera devices were not created</translation>
    </message>
    <message>
        <source>无法验证身份，虚拟摄像头设备没有创建：</source>
        <translation>Authentication failed, the virtual camera devices were not created: </translation>
    </message>
    <message>
        <source>找不到 pkexec，请安装 pkexec 软件包</source>
        <translation>pkexec is missing: install the pkexec package</translation>
    </message>
    <message>
        <source>找不到 lumora-loopback-setup：</source>
        <translation>lumora-loopback-setup is missing: </translation>
    </message>
    <message>
        <source>加载 v4l2loopback 模块失败：</source>
        <translation>Loading the v4l2loopback module failed: </translation>
    </message>
    <message>
        <source>虚拟摄像头设备已创建，但开机自动创建的设置没有保存：</source>
        <translation>The virtual camera devices were created, but creating them at every boot could not be set up: </translation>
    </message>
    <message>
        <source>设置虚拟摄像头设备失败：</source>
        <translation>Setting up the virtual camera devices failed: </translation>
    </message>
</context>
<context>
    <name>LumoraBox</name>
    <message>
        <source>Lumora直播伴侣</source>
        <translation>Lumora Live Companion</translation>
    </message>
    <message>
        <source>显示主窗体</source>
        <translation>Show window</translation>
    </message>
    <message>
        <source>语言 Language</source>
        <translation>Language 语言</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
</context>
<context>
    <name>MediaSite</name>
    <message>
        <source>标清 640×480 15帧</source>
        <translation>SD 640×480 15 fps</translation>
    </message>
    <message>
        <source>高清 1280×720 30帧</source>
        <translation>HD 1280×720 30 fps</translation>
    </message>
    <message>
        <source>全高清 1920×1080 30帧</source>
        <translation>Full HD 1920×1080 30 fps</translation>
    </message>
</context>
<context>
    <name>PicControlView</name>
    <message>
        <source>图片文件 (*.JPG *.PNG *.Jpeg *.BMP)</source>
        <translation>Pictures (*.JPG *.PNG *.Jpeg *.BMP)</translation>
    </message>
    <message>
        <source>GIF 图片 (*.gif)</source>
        <translation>GIF pictures (*.gif)</translation>
    </message>
    <message>
        <source>所有文件 (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>自适应</source>
        <translation>Fit</translation>
    </message>
    <message>
        <source>拉伸</source>
        <translation>Stretch</translation>
    </message>
    <message>
        <source>选择图片</source>
        <translation>Choose pictures</translation>
    </message>
</context>
<context>
    <name>PrettifyPendantView</name>
    <message>
        <source>自然美白</source>
        <translation>Fair</translation>
    </message>
    <message>
        <source>深度美白</source>
        <translation>Fairer</translation>
    </message>
    <message>
        <source>自然美肤</source>
        <translation>Smooth</translation>
    </message>
    <message>
        <source>唯美</source>
        <translation>Dreamy</translation>
    </message>
    <message>
        <source>清新</source>
        <translation>Fresh</translation>
    </message>
    <message>
        <source>亮度提升</source>
        <translation>Brighter</translation>
    </message>
    <message>
        <source>妖姬</source>
        <translation>Siren</translation>
    </message>
    <message>
        <source>暧昧</source>
        <translation>Blush</translation>
    </message>
    <message>
        <source>魅惑</source>
        <translation>Allure</translation>
    </message>
    <message>
        <source>下雨</source>
        <translation>Rain</translation>
    </message>
    <message>
        <source>星星</source>
        <translation>Stars</translation>
    </message>
    <message>
        <source>爱心</source>
        <translation>Hearts</translation>
    </message>
    <message>
        <source>皇冠</source>
        <translation>Crown</translation>
    </message>
    <message>
        <source>相框</source>
        <translation>Frame</translation>
    </message>
    <message>
        <source>闪光</source>
        <translation>Sparkle</translation>
    </message>
    <message>
        <source>已选择特效：</source>
        <translation>Chosen effects:</translation>
    </message>
</context>
<context>
    <name>PushFileQueue</name>
    <message>
        <source>无法读取：打不开这个文件</source>
        <translation>Cannot read: the file does not open</translation>
    </message>
    <message>
        <source>无法读取：不是支持的图片格式</source>
        <translation>Cannot read: not a supported picture format</translation>
    </message>
    <message>
        <source>无法读取：图片已损坏</source>
        <translation>Cannot read: the picture is damaged</translation>
    </message>
    <message>
        <source>无法读取：图片无法解码</source>
        <translation>Cannot read: the picture cannot be decoded</translation>
    </message>
</context>
<context>
    <name>RecordControlView</name>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>录制初始化失败</source>
        <translation>The recording could not start</translation>
    </message>
    <message>
        <source>正在完成录制文件…</source>
        <translation>Finishing the recording…</translation>
    </message>
    <message>
        <source>出错</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>重命名录制文件失败</source>
        <translation>The recording could not be renamed</translation>
    </message>
    <message>
        <source>另存为失败，录制文件已保留</source>
        <translation>Save As failed; the recording was kept</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>确定将本地文件移到回收站？</source>
        <translation>Move the file to the trash?</translation>
    </message>
    <message>
        <source>没有可以打开文件位置的文件管理器，文件在：
%1</source>
        <translation>No file manager can show the file; it is in:
%1</translation>
    </message>
    <message>
        <source>无法移到回收站，录制文件已保留：
%1</source>
        <translation>The recording could not be moved to the trash and was kept:
%1</translation>
    </message>
    <message>
        <source>无法移到回收站，以下文件已保留：
%1</source>
        <translation>These files could not be moved to the trash and were kept:
%1</translation>
    </message>
</context>
<context>
    <name>RecordItem</name>
    <message>
        <source>未保存</source>
        <translation>Not saved</translation>
    </message>
</context>
<context>
    <name>SkinArt</name>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>美颜</source>
        <translation>Beauty</translation>
    </message>
    <message>
        <source>挂件</source>
        <translation>Stickers</translation>
    </message>
    <message>
        <source>字幕</source>
        <translation>Caption</translation>
    </message>
    <message>
        <source>背景</source>
        <translation>Backdrop</translation>
    </message>
    <message>
        <source>选择图片</source>
        <translation>Choose…</translation>
    </message>
    <message>
        <source>添加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>清空</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>应用字幕</source>
        <translation>Apply caption</translation>
    </message>
    <message>
        <source>摄像头</source>
        <translation>Camera</translation>
    </message>
    <message>
        <source>特效</source>
        <translation>Effects</translation>
    </message>
    <message>
        <source>视频</source>
        <translation>Videos</translation>
    </message>
    <message>
        <source>图片</source>
        <translation>Pictures</translation>
    </message>
    <message>
        <source>录制</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>开始录制</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>停止录制</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>打开文件位置</source>
        <translation>Show in folder</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>另存为</source>
        <translation>Save as</translation>
    </message>
    <message>
        <source>添加到列表</source>
        <translation>Add to list</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>播放</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>打开摄像头</source>
        <translation>Open camera</translation>
    </message>
    <message>
        <source>开始直播</source>
        <translation>Go live</translation>
    </message>
    <message>
        <source>停止直播</source>
        <translation>End stream</translation>
    </message>
    <message>
        <source>显示</source>
        <translation>Show</translation>
    </message>
    <message>
        <source>隐藏</source>
        <translation>Hide</translation>
    </message>
    <message>
        <source>直播</source>
        <translation>Live</translation>
    </message>
</context>
<context>
    <name>VideoControlView</name>
    <message>
        <source>视频文件 (*.avi *.wmv *.rm. *.rmvb *.vob *.mpeg *.m4v *.mp4 *.mpeg4 *.mpg4 *.3gp *.mov *.f4v *.flv *.mkv);;所有文件(*.*)</source>
        <translation>Videos (*.avi *.wmv *.rm. *.rmvb *.vob *.mpeg *.m4v *.mp4 *.mpeg4 *.mpg4 *.3gp *.mov *.f4v *.flv *.mkv);;All files (*.*)</translation>
    </message>
    <message>
        <source>选择视频</source>
        <translation>Choose videos</translation>
    </message>
</context>
<context>
    <name>VideoInfoRequest</name>
    <message>
        <source>无法播放：播放器打不开这个文件</source>
        <translation>Cannot play: the player cannot open this file</translation>
    </message>
    <message>
        <source>无法播放：文件已损坏或不是视频</source>
        <translation>Cannot play: the file is damaged or not a video</translation>
    </message>
    <message>
        <source>无法播放：10 秒内没有出现画面</source>
        <translation>Cannot play: no picture came within 10 seconds</translation>
    </message>
</context>
<context>
    <name>VideoItem</name>
    <message>
        <source>播放中...</source>
        <translation>Playing…</translation>
    </message>
</context>
<context>
    <name>VideoPreviewDlg</name>
    <message>
        <source>保存视频</source>
        <translation>Save the video</translation>
    </message>
    <message>
        <source>预览视频</source>
        <translation>Preview the video</translation>
    </message>
    <message>
        <source>音量:</source>
        <translation>Volume:</translation>
    </message>
    <message>
        <source>视频另存为</source>
        <translation>Save the video as</translation>
    </message>
    <message>
        <source>视频文件 (*.flv)</source>
        <translation>Videos (*.flv)</translation>
    </message>
    <message>
        <source>删除：移到回收站</source>
        <translation>Delete: move to the trash</translation>
    </message>
</context>
<context>
    <name>VirtualCameraCheck</name>
    <message>
        <source>找不到 lumora-vcam</source>
        <translation>lumora-vcam is missing</translation>
    </message>
    <message>
        <source>；</source>
        <translation>; </translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>用法：lumora [--version]
Lumora 把摄像头、视频或图片加上特效合成实时画面，
并作为虚拟摄像头发布（见 lumora-vcam --help）。
语言跟随桌面；LUMORA_LANG=zh 或 en 可以指定。
</source>
        <translation>usage: lumora [--version]
Lumora composes a live picture from a webcam, videos or pictures with
effects and publishes it as a virtual camera (see lumora-vcam --help).
It speaks the desktop&apos;s language; LUMORA_LANG=zh or en chooses one.
</translation>
    </message>
</context>
</TS>
