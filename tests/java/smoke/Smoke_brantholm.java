import java.nio.ByteOrder;
import zol.stress.jni.JNIter004;

public class Smoke_brantholm implements zoltest.SmokeScenario {
    public String loadedBy() {
        return "class zol.stress.jni.JNIter004";
    }

    public String scenario() {
        return "digest and compare abc";
    }

    public void run() {
        JNIter004 test = new JNIter004();
        char[] sum = test.CheckSum("abc");
        // The digest bytes 61 62 63 0 ... read as chars in the machine's byte order.
        boolean little = ByteOrder.nativeOrder() == ByteOrder.LITTLE_ENDIAN;
        if (sum.length != 8 || sum[0] != (little ? 0x6261 : 0x6162) || sum[1] != (little ? 0x63 : 0x6300)
                || sum[2] != 0) {
            throw new AssertionError("CheckSum(\"abc\") gave " + new String(sum).chars().mapToObj(Integer::toHexString)
                    .reduce((a, b) -> a + " " + b).orElse(""));
        }
        if (!test.CheckCompare("abc", sum, Integer.MAX_VALUE) || test.CheckCompare("abd", sum, Integer.MAX_VALUE)) {
            throw new AssertionError("CheckCompare did not tell abc from abd");
        }
    }

    /** The native's own lines reach stdout only at exit, after the child's verdict line. */
    public String judge(zoltest.ChildJvm.Result result) {
        if (result.exitCode != 0 || !result.stdout.lines().anyMatch("SMOKE-OK"::equals)) {
            String[] lines = (result.stderr + result.stdout).strip().split("\n");
            return "exit " + result.exitCode + ": " + lines[0];
        }
        return null;
    }
}
