<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>ControlPanel</name>
    <message>
        <source>自动</source>
        <translation>Autofocus</translation>
    </message>
    <message>
        <source>LED</source>
        <translation>Lamp</translation>
    </message>
    <message>
        <source>缩小</source>
        <translation>Zoom out</translation>
    </message>
    <message>
        <source>放大</source>
        <translation>Zoom in</translation>
    </message>
    <message>
        <source>变亮</source>
        <translation>Brighter</translation>
    </message>
    <message>
        <source>变暗</source>
        <translation>Darker</translation>
    </message>
    <message>
        <source>聚焦减</source>
        <translation>Focus farther</translation>
    </message>
    <message>
        <source>聚焦加</source>
        <translation>Focus nearer</translation>
    </message>
    <message>
        <source>旋转</source>
        <translation>Rotate</translation>
    </message>
    <message>
        <source>镜像</source>
        <translation>Mirror</translation>
    </message>
    <message>
        <source>同屏对比</source>
        <translation>Side-by-side comparison</translation>
    </message>
    <message>
        <source>标题</source>
        <translation>Title strip</translation>
    </message>
    <message>
        <source>冻结</source>
        <translation>Freeze</translation>
    </message>
    <message>
        <source>马赛克</source>
        <translation>Mosaic</translation>
    </message>
    <message>
        <source>强调</source>
        <translation>Spotlight</translation>
    </message>
    <message>
        <source>遮罩</source>
        <translation>Curtain</translation>
    </message>
</context>
<context>
    <name>OptionPanel</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>蓝色</source>
        <translation>Blue</translation>
    </message>
    <message>
        <source>红色</source>
        <translation>Red</translation>
    </message>
    <message>
        <source>黄色</source>
        <translation>Yellow</translation>
    </message>
    <message>
        <source>黑色</source>
        <translation>Black</translation>
    </message>
    <message>
        <source>更多</source>
        <translation>More</translation>
    </message>
</context>
<context>
    <name>RemarkView</name>
    <message>
        <source>直线</source>
        <translation>Line</translation>
    </message>
    <message>
        <source>曲线</source>
        <translation>Freehand</translation>
    </message>
    <message>
        <source>箭头</source>
        <translation>Arrow</translation>
    </message>
    <message>
        <source>三角形</source>
        <translation>Triangle</translation>
    </message>
    <message>
        <source>矩形</source>
        <translation>Rectangle</translation>
    </message>
    <message>
        <source>圆形</source>
        <translation>Ellipse</translation>
    </message>
    <message>
        <source>文字</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>橡皮檫</source>
        <translation>Eraser</translation>
    </message>
    <message>
        <source>擦除全部</source>
        <translation>Clear all</translation>
    </message>
</context>
<context>
    <name>SettingDlg</name>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>保存文件路径：</source>
        <translation>Save files to:</translation>
    </message>
    <message>
        <source>选择</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>摄像头：</source>
        <translation>Camera:</translation>
    </message>
    <message>
        <source>帧率：</source>
        <translation>Frame rate:</translation>
    </message>
    <message>
        <source>图片分辨率：</source>
        <translation>Photo size:</translation>
    </message>
    <message>
        <source>录制分辨率：</source>
        <translation>Recording size:</translation>
    </message>
    <message>
        <source>确认</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>启用网络摄像头</source>
        <translation>Use a network camera</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;IP地址：&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;IP address:&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;信令端口：&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Control port:&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;视频端口：&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Video port:&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>10</source>
        <translation>10</translation>
    </message>
    <message>
        <source>20</source>
        <translation>20</translation>
    </message>
    <message>
        <source>30</source>
        <translation>30</translation>
    </message>
    <message>
        <source>1080P</source>
        <translation>1080p</translation>
    </message>
    <message>
        <source>2M</source>
        <translation>2 MP</translation>
    </message>
    <message>
        <source>5M</source>
        <translation>5 MP</translation>
    </message>
    <message>
        <source>8M</source>
        <translation>8 MP</translation>
    </message>
    <message>
        <source>720P</source>
        <translation>720p</translation>
    </message>
</context>
<context>
    <name>SettingPanel</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>拍照</source>
        <translation>Photo</translation>
    </message>
    <message>
        <source>摄像</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>历史</source>
        <translation>Folder</translation>
    </message>
</context>
<context>
    <name>TessalyClass</name>
    <message>
        <source>Orvane</source>
        <translation>Orvane</translation>
    </message>
</context>
<context>
    <name>ToolView</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>工具箱</source>
        <translation>Tools</translation>
    </message>
    <message>
        <source>选项栏</source>
        <translation>Options</translation>
    </message>
</context>
<context>
    <name>VideoView</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>没有摄像头画面：请连接 USB 文档摄像头，或连接正在运行摄像头应用的手机。</source>
        <translation>No camera picture: connect a USB document camera, or a phone running its camera app.</translation>
    </message>
    <message>
        <source>还没有摄像头画面，无法拍照。</source>
        <translation>There is no camera picture yet to take a photo of.</translation>
    </message>
    <message>
        <source>照片未能保存：%1</source>
        <translation>The photo could not be saved: %1</translation>
    </message>
    <message>
        <source>已修复 %1 个未正常结束的录制文件（位于 %2）。</source>
        <translation>Repaired %1 recording(s) that had not been finished, in %2.</translation>
    </message>
    <message>
        <source>录制未能开始：%1
%2</source>
        <translation>The recording could not start: %1
%2</translation>
    </message>
    <message>
        <source>录制文件写入失败：%1
%2
文件保留了出错前录下的 %3。</source>
        <translation>Writing the recording failed: %1
%2
The file keeps the %3 recorded before the failure.</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>创建录制文件件夹失败</source>
        <translation>Could not create the recording folder.</translation>
    </message>
</context>
</TS>
